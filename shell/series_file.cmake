# Reading series files, for the window and the command line alike: QtCore only, so that the
# fuzz build without the window can use it too.
add_library(series_file STATIC
  ${CMAKE_CURRENT_LIST_DIR}/series_file.cpp ${CMAKE_CURRENT_LIST_DIR}/series_file.h
  ${CMAKE_CURRENT_LIST_DIR}/series_layout.cpp ${CMAKE_CURRENT_LIST_DIR}/series_layout.h)
target_include_directories(series_file PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(series_file PUBLIC evaluation Qt6::Core)
target_link_libraries(series_file PRIVATE messwerte_warnings)
