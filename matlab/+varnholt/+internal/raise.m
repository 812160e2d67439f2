function raise(id, message)
%RAISE  Raise the toolbox error 'varnholt:<ID>' (e.g. 'invalidArgument')
%   with MESSAGE, taken literally, never as a format.
  error(['varnholt:' id], '%s', message);
end
