# One interface target carries the language level, warnings and Qt defaults
# for every target of the project.
add_library(vidarro_defaults INTERFACE)
target_compile_features(vidarro_defaults INTERFACE cxx_std_20)
target_compile_options(vidarro_defaults INTERFACE -Wall -Wextra)
if(VIDARRO_WERROR)
  target_compile_options(vidarro_defaults INTERFACE -Werror)
endif()
target_compile_definitions(vidarro_defaults INTERFACE
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  VIDARRO_VERSION="${PROJECT_VERSION}")

if(VIDARRO_SANITIZE)
  target_compile_options(vidarro_defaults INTERFACE
    -fsanitize=${VIDARRO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vidarro_defaults INTERFACE -fsanitize=${VIDARRO_SANITIZE})
endif()
