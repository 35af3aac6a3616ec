# cmake -DSOURCE=DIR -DOUT=DIR -DBROWSER=chromium|firefox -P ExtensionFolder.cmake
# One browser's folder of the extension: the scripts and pages of SOURCE as
# they are, and a manifest with only the keys that browser reads, so that
# its extension page shows no warning (Chromium rejects "background.scripts"
# in version 3, Firefox runs no service worker and knows no "key").
file(GLOB files LIST_DIRECTORIES false RELATIVE ${SOURCE} ${SOURCE}/*.js ${SOURCE}/*.html)
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
foreach(name IN LISTS files)
  file(COPY ${SOURCE}/${name} DESTINATION ${OUT})
endforeach()
file(READ ${SOURCE}/manifest.json manifest)
if(BROWSER STREQUAL "chromium")
  string(JSON manifest REMOVE "${manifest}" background scripts)
  string(JSON manifest REMOVE "${manifest}" browser_specific_settings)
elseif(BROWSER STREQUAL "firefox")
  string(JSON manifest REMOVE "${manifest}" background service_worker)
  string(JSON manifest REMOVE "${manifest}" key)
  string(JSON manifest REMOVE "${manifest}" minimum_chrome_version)
else()
  message(FATAL_ERROR "BROWSER is chromium or firefox, not '${BROWSER}'")
endif()
file(WRITE ${OUT}/manifest.json "${manifest}\n")
