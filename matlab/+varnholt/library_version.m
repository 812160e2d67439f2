function v = library_version()
%LIBRARY_VERSION  The version of the Varnholt libraries the toolbox runs on, e.g. '0.2.2'.
  v = varnholt.internal.gateway('version');
end
