if(NOT TARGET vidarro_window)
  return()
endif()
vidarro_add_test(NAME tst_window SOURCES tst_window.cpp WindowHarness.h LIBS vidarro_window vidarro_resources)
vidarro_add_test(NAME tst_sniffedlist SOURCES tst_sniffedlist.cpp LIBS vidarro_shell)
vidarro_add_test(NAME tst_appupdate SOURCES tst_appupdate.cpp WindowHarness.h LIBS vidarro_window vidarro_resources)
vidarro_add_test(NAME tst_addressdownload SOURCES tst_addressdownload.cpp WindowHarness.h
  LIBS vidarro_window vidarro_resources vidarro_test_support LABELS e2e TIMEOUT 400)
vidarro_add_test(NAME tst_sniffedpage SOURCES tst_sniffedpage.cpp WindowHarness.h
  LIBS vidarro_window vidarro_resources vidarro_test_support LABELS e2e TIMEOUT 400)
