function r = metric(m, field)
%METRIC  One metric of the layer's result M as the toolbox's struct.
%   Fields: metric (the tool's name), method, field ('free'/'diffuse'/''),
%   the single values by symbol (NaN where none), time (s) and the series by
%   key, each per-band array by key (frames x bands; a stationary one a
%   column over its axis) with its axis by its key (bark, band in Bark_HMS,
%   frequency in Hz), band_hz beside a hearing-model band axis, units (a
%   struct of unit strings per field), single_values (symbol, key, value,
%   unit and definition, in the layer's order) and warnings.
  r = struct('metric', m.name, 'method', m.method, 'field', field);
  units = struct();
  for k = 1:numel(m.summaries)
    v = m.summaries(k);
    name = identifier(v.symbol);
    r.(name) = v.value;
    units.(name) = v.unit;
  end
  if ~isempty(m.time)
    r.time = m.time;
    units.time = 's';
  end
  for k = 1:numel(m.series)
    v = m.series(k);
    r.(v.key) = v.values;
    units.(v.key) = v.unit;
  end
  for k = 1:numel(m.bands)
    v = m.bands(k);
    name = v.key;
    if isfield(r, name)
      name = ['band_' name];  % e.g. the tonal frequency per band beside T(t)'s
    end
    values = v.values;
    if size(values, 1) == 1 && isempty(m.time)
      values = values.';
    end
    r.(name) = values;
    units.(name) = v.unit;
    r.(v.axis_key) = v.axis;
    units.(v.axis_key) = v.axis_unit;
    if strcmp(v.axis_key, 'band')
      % Centre frequencies of the hearing-model bands:
      % 81.9289 / 0.1618 * sinh(0.1618 z) Hz at z Bark_HMS.
      r.band_hz = 81.9289 / 0.1618 * sinh(0.1618 * v.axis);
      units.band_hz = 'Hz';
    end
  end
  r.units = units;
  r.single_values = m.summaries;
  r.warnings = cell(0, 1);
end

function name = identifier(symbol)
  name = regexprep(symbol, '[^A-Za-z0-9_]', '_');
  if isempty(name) || ~isletter(name(1))
    name = ['v' name];
  end
end
