# Installs the built tree into a scratch prefix, then builds and runs the
# consumer program twice: through find_package(Varnholt) and through
# pkg-config.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

set(config_args "")
if(CONFIG)
  set(config_args --config "${CONFIG}")
endif()
run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}" ${config_args})

# find_package
run(${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${WORK_DIR}/cmake_build"
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build "${WORK_DIR}/cmake_build")
run("${WORK_DIR}/cmake_build/consumer_cmake")

# pkg-config
file(GLOB_RECURSE pc_files "${prefix}/*/varnholt_analysis.pc")
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
execute_process(COMMAND pkg-config --cflags --libs varnholt_analysis
                OUTPUT_VARIABLE flags RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know varnholt_analysis")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
get_filename_component(libdir "${pc_file}" DIRECTORY)
get_filename_component(libdir "${libdir}" DIRECTORY)
run(cc "${CONSUMER_DIR}/consumer.c" ${flags} "-Wl,-rpath,${libdir}" -o "${WORK_DIR}/consumer_pc")
run("${WORK_DIR}/consumer_pc")
message(STATUS "installed package usable through find_package and pkg-config")
