function r = tonality_aures(x, varargin)
%TONALITY_AURES  Tonality after Aures: 250 ms frames every 125 ms.
%   R = varnholt.tonality_aures(X), varnholt.tonality_aures(X, FS, 'Field', F):
%   X one channel in pascal at FS Hz (default 48000). R holds
%     K_mean, K_max   tonality (tu)
%     time            frame times, s
%     tonality        K(t)
%     units, single_values, warnings
%
%   Example: a 1 kHz tone at 60 dB SPL.
%     fs = 48000; t = (0:fs-1)' / fs;
%     r = varnholt.tonality_aures(sqrt(2) * 20e-6 * 10^(60/20) * sin(2*pi*1000*t), fs);
%     fprintf('K_max = %.3f %s\n', r.K_max, r.units.K_max)
%
%   See also varnholt.ecma_tonality.
  r = varnholt.internal.one_metric(x, varargin, 'tonality', 'tonality_aures', true);
  r = r{1};
end
