function channels = analyze(source, varargin)
%ANALYZE  Every chosen metric of a sound file or array, channel by channel.
%   C = varnholt.analyze(PATH, ...) reads any file libsndfile reads (WAV,
%   FLAC, Ogg, AIFF, ...); C = varnholt.analyze(X, 'Fs', FS, ...) takes an
%   array, one channel per column (double, single, or int16/int32 PCM with
%   full scale 1). Rates other than 48 kHz are resampled. Name-value options:
%     'Metrics'      'all' (default) or a list, e.g. 'loudness-time,sharpness'
%                    or {'levels', 'ecma-roughness'}, of levels, loudness,
%                    loudness-time, sharpness, roughness, tonality,
%                    ecma-tonality, ecma-roughness
%     'Calibration'  pascal per sample unit (default 1), or
%                    struct('full_scale_spl', 100), or
%                    struct('calibrator', 'cal.wav', 'spl', 94[, 'channel', 1])
%     'Channel'      only this channel (counted from 1)
%     'Start', 'Duration'   the analysed span, s
%     'RemoveDC'     subtract each channel's mean pressure first
%     'Field'        'free' (default) or 'diffuse'
%     'Bands'        keep the per-band arrays over time too (memory grows
%                    with the signal; default false)
%     'Jobs'         threads (default: the cores); the results are the same
%   C is a struct array, one element per analysed channel, with
%     channel, samples (at 48 kHz), rms_pa, peak_pa, dc_offset_pa, dc_removed
%     warnings   the source's and the channel's (cellstr)
%     error      why the channel could not be analysed ('' when it was)
%     errors     a struct of the failed metrics' reasons, e.g. errors.ecma_tonality
%     one field per metric, its name with '_' for '-' (loudness_time,
%     ecma_roughness, ...), holding that metric's struct as the one-metric
%     functions give it ([] when the metric failed)
%   A file that cannot be read raises varnholt:invalidArgument with its reason.
%
%   Example:
%     c = varnholt.analyze('take1.wav', 'Metrics', 'loudness-time,ecma-roughness', ...
%                          'Calibration', struct('full_scale_spl', 100));
%     fprintf('channel %d: N5 = %.2f sone\n', c(1).channel, c(1).loudness_time.N5)
%
%   See also varnholt.loudness_time, varnholt.plot.
  names = {'Metrics', 'Calibration', 'Channel', 'Start', 'Duration', 'RemoveDC', ...
           'Jobs', 'Fs', 'Field', 'Bands'};
  opts = varnholt.internal.options(varargin, names, 'analyze');
  if ~any(strcmpi(varargin(1:2:end), 'Jobs'))
    opts.jobs = default_jobs();
  end
  fs = opts.fs;
  opts = rmfield(opts, 'fs');
  if ischar(source) || (isstring(source) && isscalar(source))
    if ~isempty(fs)
      varnholt.internal.raise('invalidArgument', ...
        'Fs is for arrays: a file states its own sample rate');
    end
    raw = varnholt.internal.gateway('analyze_file', char(source), opts);
  else
    if isempty(fs)
      varnholt.internal.raise('invalidArgument', ...
        'an array needs its sample rate: varnholt.analyze(x, ''Fs'', 48000)');
    end
    p = varnholt.internal.samples(source, 'x');
    raw = varnholt.internal.gateway('analyze', p, fs, opts);
  end
  if ~isempty(raw.error)
    where = '';
    if ~isempty(raw.path)
      where = [raw.path ': '];
    end
    varnholt.internal.raise('invalidArgument', [where raw.error]);
  end
  fields = {'free', 'diffuse'};
  channels = struct('channel', {}, 'samples', {}, 'rms_pa', {}, 'peak_pa', {}, ...
                    'dc_offset_pa', {}, 'dc_removed', {}, 'warnings', {}, 'error', {}, ...
                    'status', {}, 'errors', {});
  for k = 1:numel(raw.channels)
    c = raw.channels(k);
    out = struct('channel', c.channel, 'samples', c.samples, 'rms_pa', c.rms_pa, ...
                 'peak_pa', c.peak_pa, 'dc_offset_pa', c.dc_offset_pa, ...
                 'dc_removed', c.dc_removed, 'warnings', {[raw.warnings; c.warnings]}, ...
                 'error', c.error, 'status', c.status, 'errors', struct());
    for j = 1:numel(c.metrics)
      m = c.metrics{j};
      name = strrep(m.name, '-', '_');
      if isempty(m.error)
        r = varnholt.internal.metric(m, fields{opts.field + 1});
        r.warnings = out.warnings;
        out.(name) = r;
      else
        out.(name) = [];
        out.errors.(name) = m.error;
      end
    end
    channels = merge(channels, out);
  end
end

function jobs = default_jobs()
  if exist('nproc', 'builtin') || exist('nproc', 'file')
    jobs = nproc();
  else
    jobs = maxNumCompThreads();
  end
  jobs = max(1, min(1024, double(jobs)));
end

% Appends one channel to the struct array, its metric fields added to all.
function s = merge(s, one)
  for name = fieldnames(one).'
    if ~isfield(s, name{1})
      [s.(name{1})] = deal([]);
    end
  end
  for name = fieldnames(s).'
    if ~isfield(one, name{1})
      one.(name{1}) = [];
    end
  end
  s(end + 1) = orderfields(one, s);
end
