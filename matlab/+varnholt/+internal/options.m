function opts = options(args, allowed, caller)
%OPTIONS  The name-value pairs ARGS of CALLER, checked, as the options struct
%   of the MEX gateway. ALLOWED lists the names the caller takes (matched
%   without regard to letter case). Every bad value raises
%   'varnholt:invalidArgument' naming the option ('varnholt:invalidSoundField'
%   for a sound field that is neither 'free' nor 'diffuse').
  opts = struct('metrics', 'all', 'field', 0, 'calibration', 'scale', 'scale', 1, ...
                'spl', NaN, 'calibrator', '', 'calibrator_channel', 1, 'channel', 0, ...
                'start', 0, 'duration', -1, 'remove_dc', 0, 'bands', 0, 'jobs', 1, ...
                'fs', []);
  if mod(numel(args), 2) ~= 0
    bad(sprintf('%s: options come in name-value pairs', caller));
  end
  for k = 1:2:numel(args)
    name = args{k};
    if ~ischar(name) || ~isrow(name)
      bad(sprintf('%s: option names are text, got a %s', caller, class(name)));
    end
    hit = find(strcmpi(name, allowed), 1);
    if isempty(hit)
      bad(sprintf('%s: unknown option ''%s''; it takes %s', caller, name, ...
                  strjoin(allowed, ', ')));
    end
    name = allowed{hit};
    v = args{k + 1};
    switch name
      case 'Metrics'
        opts.metrics = metric_list(v);
      case 'Field'
        opts.field = sound_field(v);
      case 'Calibration'
        opts = calibration(opts, v);
      case 'Channel'
        opts.channel = whole(v, 'Channel', 1, 2^31 - 1);
      case 'Start'
        opts.start = seconds(v, 'Start', false);
      case 'Duration'
        opts.duration = seconds(v, 'Duration', true);
      case 'RemoveDC'
        opts.remove_dc = flag(v, 'RemoveDC');
      case 'Bands'
        opts.bands = flag(v, 'Bands');
      case 'Jobs'
        opts.jobs = whole(v, 'Jobs', 1, 1024);
      case 'Fs'
        opts.fs = varnholt.internal.rate(v);
    end
  end
end

function bad(message)
  varnholt.internal.raise('invalidArgument', message);
end

function v = real_number(v, name)
  if ~isnumeric(v) || ~isscalar(v) || ~isreal(v) || isnan(v)
    bad(sprintf('%s: expected one real number', name));
  end
  v = double(v);
end

function v = whole(v, name, lo, hi)
  v = real_number(v, name);
  if ~(v >= lo && v <= hi && v == fix(v))
    bad(sprintf('%s %g: expected a whole number from %d to %d', name, v, lo, hi));
  end
end

function v = seconds(v, name, inf_ok)
  v = real_number(v, name);
  if inf_ok && v == Inf
    v = -1;
  elseif ~(isfinite(v) && v >= 0)
    bad(sprintf('%s %g: expected a finite number of seconds, 0 or more', name, v));
  end
end

function v = flag(v, name)
  if ~((islogical(v) || isnumeric(v)) && isscalar(v) && isreal(v) && (v == 0 || v == 1))
    bad(sprintf('%s: expected true or false', name));
  end
  v = double(v);
end

function v = sound_field(v)
  if ischar(v) && strcmpi(v, 'free')
    v = 0;
  elseif ischar(v) && strcmpi(v, 'diffuse')
    v = 1;
  else
    if ischar(v)
      shown = ['''' v ''''];
    else
      shown = ['a ' class(v)];
    end
    varnholt.internal.raise('invalidSoundField', ...
      sprintf('Field %s: expected ''free'' or ''diffuse''', shown));
  end
end

function v = metric_list(v)
  if iscellstr(v) && ~isempty(v)
    v = strjoin(v(:).', ',');
  end
  if ~ischar(v) || ~isrow(v)
    bad('Metrics: expected a comma-separated list or a cell of metric names');
  end
end

function opts = calibration(opts, v)
  if isnumeric(v)
    v = real_number(v, 'Calibration');
    if ~(isfinite(v) && v > 0)
      bad(sprintf('Calibration %g: expected a positive finite number of pascal per unit', v));
    end
    opts.calibration = 'scale';
    opts.scale = v;
  elseif isstruct(v) && isscalar(v) && isfield(v, 'full_scale_spl')
    opts.calibration = 'full_scale_spl';
    opts.spl = real_number(v.full_scale_spl, 'Calibration.full_scale_spl');
  elseif isstruct(v) && isscalar(v) && isfield(v, 'calibrator') && isfield(v, 'spl')
    if ~ischar(v.calibrator) || ~isrow(v.calibrator)
      bad('Calibration.calibrator: expected the path of a calibrator recording');
    end
    opts.calibration = 'calibrator';
    opts.calibrator = v.calibrator;
    opts.spl = real_number(v.spl, 'Calibration.spl');
    if isfield(v, 'channel')
      opts.calibrator_channel = whole(v.channel, 'Calibration.channel', 1, 2^31 - 1);
    end
  else
    bad(['Calibration: expected pascal per unit, struct(''full_scale_spl'', dB) or ' ...
         'struct(''calibrator'', path, ''spl'', dB)']);
  end
end
