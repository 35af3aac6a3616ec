# One interface target carries the language level, warnings and Qt defaults
# for every target of the project.
add_library(vidarro_defaults INTERFACE)
target_compile_features(vidarro_defaults INTERFACE cxx_std_20)
target_compile_options(vidarro_defaults INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-align -Wformat=2
  -Wimplicit-fallthrough)
if(VIDARRO_WERROR)
  target_compile_options(vidarro_defaults INTERFACE -Werror)
endif()
target_compile_definitions(vidarro_defaults INTERFACE
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_NO_CAST_TO_ASCII QT_USE_QSTRINGBUILDER)

# The version lives in one generated header, so a bump rebuilds only its users.
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/Version.h @ONLY)
target_include_directories(vidarro_defaults INTERFACE ${PROJECT_BINARY_DIR}/generated)

if(VIDARRO_SANITIZE)
  target_compile_options(vidarro_defaults INTERFACE
    -fsanitize=${VIDARRO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vidarro_defaults INTERFACE -fsanitize=${VIDARRO_SANITIZE})
endif()
