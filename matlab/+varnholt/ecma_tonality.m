function r = ecma_tonality(x, varargin)
%ECMA_TONALITY  ECMA-418-2 tonality of the hearing model, 187.5 frames per second.
%   R = varnholt.ecma_tonality(X), varnholt.ecma_tonality(X, FS, 'Field', F):
%   X one channel in pascal at FS Hz (default 48000; resampled to 48 kHz),
%   at least 0.304 s long. R holds
%     T_mean, T_max     tonality, tu_HMS;  f_T_max  its tonal frequency, Hz
%                       (NaN when nothing is tonal)
%     N_mean, N_max     loudness of the hearing model, sone_HMS
%     time              frame times, s
%     tonality, tonal_frequency, loudness   T(t), f_T(t) (NaN: none), N(t)
%     band, band_hz     the 53 hearing-model bands, Bark_HMS and Hz
%     specific_tonality, band_tonal_frequency, ...   frames x 53 arrays
%     units, single_values, warnings
%
%   Example: a 1 kHz tone at 60 dB SPL over noise at 50 dB SPL.
%     fs = 44100; t = (0:3*fs-1)' / fs;
%     noise = randn(size(t)); noise = noise * 20e-6 * 10^(50/20) / std(noise);
%     x = noise + sqrt(2) * 20e-6 * 10^(60/20) * sin(2*pi*1000*t) .* (t >= 1);
%     r = varnholt.ecma_tonality(x, fs);
%     fprintf('T_max = %.3f %s at %.0f Hz\n', r.T_max, r.units.T_max, r.f_T_max)
%     varnholt.plot(r)
%
%   See also varnholt.tonality_aures, varnholt.plot.
  r = varnholt.internal.one_metric(x, varargin, 'ecma-tonality', 'ecma_tonality', true);
  r = r{1};
end
