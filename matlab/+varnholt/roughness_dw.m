function r = roughness_dw(x, fs)
%ROUGHNESS_DW  Roughness after Daniel and Weber: 200 ms frames every 100 ms.
%   R = varnholt.roughness_dw(X) or varnholt.roughness_dw(X, FS): X one
%   channel in pascal at FS Hz (default 48000; resampled to 48 kHz). R holds
%     R_mean, R_max   asper
%     time            frame times, s
%     roughness       R(t), asper
%     units, single_values, warnings
%
%   Example: a 1 kHz tone at 60 dB SPL, fully amplitude-modulated at 70 Hz,
%   is about 1 asper.
%     fs = 48000; t = (0:2*fs-1)' / fs;
%     x = 20e-6 * 10^(60/20) * sqrt(2) * sin(2*pi*1000*t) .* (1 + sin(2*pi*70*t));
%     r = varnholt.roughness_dw(x, fs);
%     fprintf('R_max = %.2f %s\n', r.R_max, r.units.R_max)
%
%   See also varnholt.ecma_roughness.
  args = {};
  if nargin > 1
    args = {fs};
  end
  r = varnholt.internal.one_metric(x, args, 'roughness', 'roughness_dw', false);
  r = r{1};
end
