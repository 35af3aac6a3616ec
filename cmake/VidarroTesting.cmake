# vidarro_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [GUI])
# One QtTest executable per unit. Every test runs offscreen, with its own
# per-user folder so no test touches the developer's real settings or logs.
function(vidarro_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE vidarro_defaults Qt6::Test ${T_LIBS})
  target_compile_definitions(${T_NAME} PRIVATE
    VIDARRO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VIDARRO_BIN_DIR="${VIDARRO_BIN_DIR}"
    VIDARRO_EXTENSION_DIR="${VIDARRO_EXTENSION_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(home ${PROJECT_BINARY_DIR}/test-home/${T_NAME})
  file(MAKE_DIRECTORY ${home})
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;APPDATA=${home}/appdata;HOME=${home};XDG_DATA_HOME=${home}/.local/share;XDG_CACHE_HOME=${home}/.cache;XDG_CONFIG_HOME=${home}/.config;VIDARRO_BIN_DIR=${VIDARRO_BIN_DIR};VIDARRO_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
