# The window and the application. Needs every core library and the forms.
set(window_needs vidarro_ytsniffer vidarro_capture vidarro_transfer_ui vidarro_options vidarro_update vidarro_resources)
foreach(need ${window_needs})
  if(NOT TARGET ${need})
    message(STATUS "The window waits for ${need}")
    return()
  endif()
endforeach()

target_sources(vidarro_shell PRIVATE
  ReportQueue.h ReportQueue.cpp
  SaveName.h SaveName.cpp
  SniffedItems.h SniffedItems.cpp
  TargetPath.h TargetPath.cpp
  UpdateSchedule.h UpdateSchedule.cpp)
target_link_libraries(vidarro_shell PUBLIC vidarro_capture)

add_library(vidarro_window STATIC
  Sniffer.h Sniffer.cpp
  UserDialogs.h UserDialogs.cpp
  ShowWidgets.cpp ErrorMessages.cpp ProgressBar.cpp ProcessURL.cpp
  DownloadFile.cpp DownloadVideo.cpp DownloadAudio.cpp UISaveFile.cpp
  SnifferUpdate.cpp TestSniffer.cpp OldSniffer.cpp Help.cpp DownloadOS.cpp LaunchUpdater.cpp)
target_include_directories(vidarro_window PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vidarro_window PUBLIC
  vidarro_shell vidarro_ytsniffer vidarro_capture vidarro_transfer_ui vidarro_options vidarro_update
  Qt6::Widgets)

add_executable(vidarro main.cpp)
target_link_libraries(vidarro PRIVATE vidarro_window vidarro_resources)
