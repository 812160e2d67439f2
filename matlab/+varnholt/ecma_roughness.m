function r = ecma_roughness(x, varargin)
%ECMA_ROUGHNESS  ECMA-418-2 roughness of the hearing model, 50 frames per second.
%   R = varnholt.ecma_roughness(X), varnholt.ecma_roughness(X, FS, 'Field', F):
%   X one channel in pascal at FS Hz (default 48000), at least 0.32 s long.
%   R holds
%     R_p90, R_max, R_mean   roughness, asper_HMS (R_p90: the 90th percentile)
%     time                   frame times, s
%     roughness              R(t), asper_HMS
%     band, band_hz          the 53 hearing-model bands, Bark_HMS and Hz
%     specific_roughness     frames x 53, asper_HMS/Bark_HMS
%     units, single_values, warnings
%
%   Example: a 1 kHz tone at 60 dB SPL, fully modulated at 70 Hz, is about
%   1 asper_HMS.
%     fs = 48000; t = (0:2*fs-1)' / fs;
%     x = 20e-6 * 10^(60/20) * sqrt(2) * sin(2*pi*1000*t) .* (1 + sin(2*pi*70*t));
%     r = varnholt.ecma_roughness(x, fs);
%     fprintf('R_p90 = %.2f %s\n', r.R_p90, r.units.R_p90)
%
%   See also varnholt.roughness_dw.
  r = varnholt.internal.one_metric(x, varargin, 'ecma-roughness', 'ecma_roughness', true);
  r = r{1};
end
