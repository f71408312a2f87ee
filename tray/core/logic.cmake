# The tray program's own decisions, portable: scan handling, the driver path's scan routine
# and keystroke codes, the tray menu's model, the rule that notices a lost low-level hook.
# Included from tray/CMakeLists.txt.
add_library(pellix_tray_logic STATIC
  ${CMAKE_CURRENT_LIST_DIR}/scan_handling.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hook_watchdog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scan_history.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spreadsheet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/start_with_windows.cpp)
target_include_directories(pellix_tray_logic PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(pellix_tray_logic PUBLIC pellix_profiles pellix_tray_core pellix_engine)
