# cmake -P script run by the package test; see CMakeLists.txt beside it.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# Nothing internal may be installed.
file(GLOB_RECURSE archives ${prefix}/*.a)
file(GLOB_RECURSE private_headers ${prefix}/include/*/platform/* ${prefix}/include/*/core/*)
if(archives OR private_headers)
  message(FATAL_ERROR "internal pieces installed: ${archives} ${private_headers}")
endif()
file(GLOB target_files ${prefix}/${LIBDIR}/cmake/reclink/reclinkTargets*.cmake)
set(targets "")
foreach(f ${target_files})
  file(READ ${f} text)
  string(APPEND targets "${text}")
endforeach()
if(targets MATCHES "reclink_(platform|core|records|numbered)|SQLite")
  message(FATAL_ERROR "the exported link interface names internal or private libraries")
endif()

# Through find_package.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer)
message(STATUS "find_package consumer:\n${last_output}")

# Through pkg-config, with the compiler alone.
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  run(${PKG_CONFIG} --cflags --libs reclink)
  string(STRIP "${last_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS} ${LINKER_FLAGS}")
  run(${CXX_COMPILER} -std=c++20 ${extra} ${CONSUMER_DIR}/main.cpp ${flags}
      -Wl,-rpath,${prefix}/${LIBDIR} -o ${WORK_DIR}/consumer-pc)
  run(${WORK_DIR}/consumer-pc)
  message(STATUS "pkg-config consumer:\n${last_output}")
endif()
