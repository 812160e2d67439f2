function r = loudness_time(x, varargin)
%LOUDNESS_TIME  Time-varying loudness after ISO 532-1, one frame every 2 ms.
%   R = varnholt.loudness_time(X), varnholt.loudness_time(X, FS, 'Field', F)
%   with X one channel in pascal (vector of double or single, or int16/int32
%   PCM with full scale 1) at FS Hz (default 48000; other rates are
%   resampled to 48 kHz) and F 'free' (default) or 'diffuse'. R holds
%     N_max, N_mean          sone;  N5, N10, N50, N90, N95 exceedance levels, sone
%     time                   frame times, s (frames x 1)
%     loudness               N(t), sone (frames x 1)
%     bark                   critical-band rate, Bark (240 x 1)
%     specific_loudness      N'(t), sone/Bark (frames x 240)
%     units, single_values, warnings   as in varnholt.loudness
%
%   Example:
%     fs = 44100; t = (0:2*fs-1)' / fs;
%     x = sqrt(2) * 20e-6 * 10^(60/20) * sin(2*pi*1000*t) .* (t >= 0.5);
%     r = varnholt.loudness_time(x, fs);
%     fprintf('N5 = %.2f %s\n', r.N5, r.units.N5)
%     varnholt.plot(r)
%
%   See also varnholt.loudness, varnholt.plot.
  r = varnholt.internal.one_metric(x, varargin, 'loudness-time', 'loudness_time', true);
  r = r{1};
end
