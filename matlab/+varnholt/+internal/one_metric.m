function r = one_metric(x, args, metric, caller, takes_field)
%ONE_METRIC  The result of one metric of one signal X (pascal at fs, fs
%   from ARGS or 48000), per-band arrays kept. The source's, the channel's
%   and the metric's failures raise with their status and the layer's text.
  fs = 48000;
  if ~isempty(args) && ~ischar(args{1})
    fs = varnholt.internal.rate(args{1});
    args = args(2:end);
  end
  allowed = {};
  if takes_field
    allowed = {'Field'};
  end
  opts = varnholt.internal.options(args, allowed, caller);
  p = varnholt.internal.samples(x, 'x');
  if isempty(p)
    varnholt.internal.raise('inputTooShort', 'x: no samples given: input is too short');
  end
  if size(p, 2) ~= 1
    varnholt.internal.raise('invalidArgument', sprintf( ...
      'x: expected one channel (a vector), got %d x %d; varnholt.analyze takes several', ...
      size(p, 1), size(p, 2)));
  end
  opts.metrics = metric;
  opts.bands = 1;
  opts = rmfield(opts, 'fs');
  raw = varnholt.internal.gateway('analyze', p, fs, opts);
  if ~isempty(raw.error)
    varnholt.internal.raise('invalidArgument', raw.error);
  end
  c = raw.channels(1);
  if ~isempty(c.error)
    error(c.status_id, '%s', c.error);
  end
  fields = {'free', 'diffuse'};
  field = fields{opts.field + 1};
  if ~takes_field
    field = '';
  end
  out = cell(1, numel(c.metrics));
  for k = 1:numel(c.metrics)
    m = c.metrics{k};
    if ~isempty(m.error)
      error(m.status_id, '%s: %s', m.name, m.error);
    end
    out{k} = varnholt.internal.metric(m, field);
    out{k}.warnings = [raw.warnings; c.warnings];
  end
  r = out;
end
