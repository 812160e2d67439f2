function r = sharpness(x, varargin)
%SHARPNESS  Sharpness after DIN 45692.
%   R = varnholt.sharpness(X), varnholt.sharpness(X, FS, 'Field', F): X one
%   channel in pascal at FS Hz (default 48000), F 'free' or 'diffuse'. R holds
%     S          sharpness of the stationary specific loudness, acum
%     time       frame times of the time-varying loudness, s (2 ms apart)
%     sharpness  S(t), the sharpness of each frame's specific loudness, acum
%     units, single_values, warnings
%
%   Example: a 1 kHz tone at 60 dB SPL.
%     fs = 48000; t = (0:fs-1)' / fs;
%     r = varnholt.sharpness(sqrt(2) * 20e-6 * 10^(60/20) * sin(2*pi*1000*t), fs);
%     fprintf('S = %.2f %s\n', r.S, r.units.S)
%
%   See also varnholt.loudness_time.
  rs = varnholt.internal.one_metric(x, varargin, 'sharpness,loudness-time', 'sharpness', true);
  r = rs{1};
  n = rs{2};
  r.time = n.time;
  r.sharpness = varnholt.internal.gateway('sharpness_din', n.specific_loudness);
  r.units.time = 's';
  r.units.sharpness = 'acum';
end
