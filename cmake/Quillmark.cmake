# Shared build settings of every Quillmark target.

set(QM_WARNINGS -Wall -Wextra)

function(qm_target_defaults target)
  target_compile_options(${target} PRIVATE ${QM_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  if(QM_SANITIZE OR QM_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
  if(QM_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# qm_library(<name> SOURCES ... [LIBS ...] [SHARED])
function(qm_library name)
  cmake_parse_arguments(ARG "SHARED" "" "SOURCES;LIBS" ${ARGN})
  if(ARG_SHARED)
    add_library(${name} SHARED ${ARG_SOURCES})
  else()
    add_library(${name} STATIC ${ARG_SOURCES})
  endif()
  qm_target_defaults(${name})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# qm_tests(<label> [TIMEOUT seconds] SOURCES ... [LIBS ...])
# One GoogleTest program per folder; every test carries the folder's label,
# so `ctest -L <label>` runs one subsystem. CTest ends a test that runs
# longer than TIMEOUT (default 60 seconds). The programs' main gives each
# one a HOME, XDG folders and a TMPDIR of its own (tests/support).
function(qm_tests label)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  string(TOLOWER "test_${label}" exe)
  add_executable(${exe} ${ARG_SOURCES})
  qm_target_defaults(${exe})
  target_link_libraries(${exe} PRIVATE ${ARG_LIBS} qm_test_main GTest::gmock)
  target_compile_definitions(${exe} PRIVATE
    QM_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QM_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${exe}
    PROPERTIES LABELS ${label} TIMEOUT ${ARG_TIMEOUT}
    DISCOVERY_TIMEOUT 60)
endfunction()
