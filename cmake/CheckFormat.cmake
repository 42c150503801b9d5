# Fails when any C or C++ source of the project differs from what clang-format makes of it.
file(GLOB_RECURSE sources
  ${SOURCE_DIR}/library/*.h ${SOURCE_DIR}/library/*.cpp
  ${SOURCE_DIR}/platform/*.h ${SOURCE_DIR}/platform/*.cpp
  ${SOURCE_DIR}/control/*.h ${SOURCE_DIR}/control/*.cpp
  ${SOURCE_DIR}/tools/*.h ${SOURCE_DIR}/tools/*.cpp
  ${SOURCE_DIR}/bridge/*.h ${SOURCE_DIR}/bridge/*.cpp
  ${SOURCE_DIR}/tests/*.h ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.c
  ${SOURCE_DIR}/bench/*.cpp
  ${SOURCE_DIR}/fuzz/*.h ${SOURCE_DIR}/fuzz/*.cpp)
# The browser tests' npm packages are not ours.
list(FILTER sources EXCLUDE REGEX "/node_modules/")
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "clang-format: sources need formatting (run scripts/format.sh)")
endif()
