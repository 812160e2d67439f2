function bench_mex(runs)
%BENCH_MEX  What the MEX gateway and the toolbox add to a 10 s ECMA-418-2
%   tonality analysis: varnholt.ecma_tonality(x, 48000), best of RUNS
%   (default 5), against bench_c, the same call of the C interface on the
%   same sound, best of as many runs, the two alternating. Run from the
%   repository with the toolbox and the build's matlab folder on the path:
%     octave --no-gui --eval "addpath('matlab', 'matlab/bench', 'build/matlab'); bench_mex"
%   bench_c is found beside varnholt_mex (or through VARNHOLT_BENCH_C).
  if nargin < 1
    runs = 5;
  end
  fs = 48000;
  t = (0:10 * fs - 1).' / fs;
  % The sound of bench_c.c: a 1 kHz tone at 60 dB SPL over a linear sweep
  % from 100 Hz to 10 kHz at 50 dB SPL.
  x = sqrt(2) * 20e-6 * 10^(60 / 20) * sin(2 * pi * 1000 * t) + ...
      sqrt(2) * 20e-6 * 10^(50 / 20) * sin(2 * pi * (100 * t + 0.5 * (10000 - 100) / 10 * t.^2));
  program = getenv('VARNHOLT_BENCH_C');
  if isempty(program)
    program = fullfile(fileparts(which('varnholt_mex')), 'bench_c');
  end
  varnholt.ecma_tonality(x, fs);  % loads the gateway and the libraries
  % The two alternate, run by run, so that both meet the same load of a
  % shared machine; the best of each is its cost without interference.
  best = Inf;
  c = Inf;
  for k = 1:runs
    t0 = tic;
    r = varnholt.ecma_tonality(x, fs); %#ok<NASGU>
    best = min(best, toc(t0));
    [status, out] = system(sprintf('"%s" 1', program));
    one = sscanf(out, 'best_s %f');
    if status ~= 0 || isempty(one)
      error('varnholt:invalidArgument', 'bench_c (%s) failed: %s', program, out);
    end
    c = min(c, one);
  end
  fprintf('ecma_tonality of 10 s, best of %d: toolbox %.4f s, C %.4f s, added %+.2f %%\n', ...
          runs, best, c, 100 * (best - c) / c);
end
