function build(prefix)
%BUILD  Build the gateway varnholt_mex beside this file against an installed
%   Varnholt (headers in PREFIX/include, libvarnholt and libvarnholt_analysis
%   in PREFIX/lib or PREFIX/lib/<multiarch>), from inside MATLAB or Octave.
%     build              % PREFIX = /usr/local
%     build('/opt/varnholt')
%   The gateway finds the libraries at run time through its RPATH, so they
%   need not be on the loader's path. Then add this folder to the path:
%     addpath(fileparts(which('build')))
  if nargin < 1
    prefix = '/usr/local';
  end
  here = fileparts(mfilename('fullpath'));
  include = fullfile(prefix, 'include');
  if ~exist(fullfile(include, 'varnholt_analysis.h'), 'file')
    error('varnholt:invalidArgument', 'build: no varnholt_analysis.h in %s', include);
  end
  libdir = '';
  for candidate = [{fullfile(prefix, 'lib')}, ...
                   cellfun(@(d) fullfile(prefix, 'lib', d), multiarch(), 'uniformoutput', false)]
    if ~isempty(dir(fullfile(candidate{1}, 'libvarnholt_analysis.*')))
      libdir = candidate{1};
      break;
    end
  end
  if isempty(libdir)
    error('varnholt:invalidArgument', 'build: no libvarnholt_analysis under %s/lib', prefix);
  end
  source = fullfile(here, 'varnholt_mex.c');
  if exist('OCTAVE_VERSION', 'builtin')
    [out, status] = mkoctfile('--mex', '-o', fullfile(here, 'varnholt_mex.mex'), ...
                              ['-I' include], source, ['-L' libdir], ...
                              '-lvarnholt_analysis', '-lvarnholt', ['-Wl,-rpath,' libdir]);
    if status ~= 0
      error('varnholt:invalidArgument', 'build: mkoctfile failed:\n%s', out);
    end
  else
    mex('-outdir', here, ['-I' include], source, ['-L' libdir], '-lvarnholt_analysis', ...
        '-lvarnholt', ['LDFLAGS=$LDFLAGS -Wl,-rpath,' libdir]);
  end
end

% Debian's multiarch library folders (lib/x86_64-linux-gnu, ...).
function names = multiarch()
  names = {};
  [status, triplet] = system('gcc -print-multiarch 2>/dev/null');
  if status == 0 && ~isempty(strtrim(triplet))
    names = {strtrim(triplet)};
  end
end
