# Tests of the tray program (included from tray/CMakeLists.txt).
if(NOT PELLIX_TESTS)
  return()
endif()
set(here ${CMAKE_CURRENT_LIST_DIR})

# The decisions, against fakes natively and against the real platform under Wine.
pellix_add_test(tray_logic_tests
  SOURCES ${here}/scan_handling_test.cpp ${here}/driver_path_test.cpp ${here}/tray_menu_test.cpp
          ${here}/hook_watchdog_test.cpp ${here}/scan_history_test.cpp
  LIBS pellix_tray_logic)

# The lookup of what a Program runs: the in-memory file system, and under Wine the real one.
if(WIN32)
  pellix_add_test(tray_lookup_tests SOURCES ${here}/program_lookup_contract_test.cpp
                  LIBS pellix_tray_win32)
else()
  pellix_add_test(tray_lookup_tests SOURCES ${here}/program_lookup_contract_test.cpp
                  LIBS pellix_tray_logic)
endif()

if(NOT WIN32)
  # Scans on one thread while the profile changes on another; scripts/test also runs it under
  # ThreadSanitizer (PELLIX_SANITIZE=thread).
  find_package(Threads REQUIRED)
  pellix_add_test(tray_race_tests SOURCES ${here}/driver_race_test.cpp
                  LIBS pellix_tray_logic Threads::Threads)
endif()

if(WIN32)
  # Stand-ins for KEYWEDGE.DLL: all nine exports, and one short of them.
  foreach(variant full missing)
    add_library(pellix_stub_keywedge_${variant} SHARED ${here}/win32/stub_keywedge.cpp)
    set_target_properties(pellix_stub_keywedge_${variant} PROPERTIES
      OUTPUT_NAME KEYWEDGE PREFIX "" SUFFIX ".DLL"
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stubs/${variant})
    if(MINGW)
      target_link_options(pellix_stub_keywedge_${variant} PRIVATE -Wl,--kill-at)
    endif()
  endforeach()
  target_compile_definitions(pellix_stub_keywedge_missing PRIVATE PELLIX_STUB_MISSING_EXPORT)
  target_include_directories(pellix_stub_keywedge_full PRIVATE ${PROJECT_SOURCE_DIR})
  target_include_directories(pellix_stub_keywedge_missing PRIVATE ${PROJECT_SOURCE_DIR})

  add_executable(pellix-offer ${here}/win32/offer.cpp)
  target_link_libraries(pellix-offer PRIVATE ole32 uuid user32)
  target_include_directories(pellix-offer PRIVATE ${PROJECT_SOURCE_DIR})
  add_executable(pellix-probe ${here}/win32/probe.cpp)
  target_link_libraries(pellix-probe PRIVATE pellix_engine shell32 user32)
  target_include_directories(pellix-probe PRIVATE ${PROJECT_SOURCE_DIR})

  # The driver path with the real driver thread, APCs and keyboard layout, and a simulated
  # driver.
  pellix_add_test(tray_driver_tests
    SOURCES ${here}/win32/driver_thread_test.cpp ${here}/win32/simulated_driver.cpp
    LIBS pellix_tray_win32)

  # The watch over the low-level hook: the real library's hook, raw input, keybd_event.
  if(TARGET KEYWEDGE)
    pellix_add_test(tray_hook_watch_tests SOURCES ${here}/win32/hook_watch_test.cpp
                    LIBS pellix_tray_win32)
    add_dependencies(tray_hook_watch_tests KEYWEDGE pellix-target)
  endif()

  # The resources as Windows reads them (the same compiled script as pellix.exe's).
  pellix_add_test(tray_resources_tests
    SOURCES ${here}/win32/resources_test.cpp $<TARGET_OBJECTS:pellix_resources>
    LIBS version user32 gdi32)
  add_dependencies(tray_resources_tests pellix)

  # The real program under Wine: start-up, back-end choice, menu, profiles, exit.
  add_test(NAME tray_program_tests
           COMMAND bash ${here}/program_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/program-test)
  set_tests_properties(tray_program_tests PROPERTIES LABELS e2e)
  pellix_wine_flavour(tray_program_tests)
endif()
if(WIN32)
  # Loaded by pellix-probe into the tray program's thread to read its pop-up menu there.
  add_library(pellix_menu_spy SHARED ${here}/win32/menu_spy.cpp)
  set_target_properties(pellix_menu_spy PROPERTIES PREFIX "")
  target_link_libraries(pellix_menu_spy PRIVATE user32)
  add_dependencies(pellix-probe pellix_menu_spy)
endif()
if(WIN32 AND TARGET KEYWEDGE)
  # The real library's low-level hook taken away behind the real program's back.
  add_test(NAME tray_hook_watch_e2e
           COMMAND bash ${here}/hook_watch_e2e.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(tray_hook_watch_e2e PROPERTIES LABELS e2e)
  pellix_wine_flavour(tray_hook_watch_e2e)
  # The real library and real X keys: scans typed, commands launched, restart, exit.
  add_test(NAME tray_e2e_tests
           COMMAND bash ${here}/e2e_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/e2e-test)
  set_tests_properties(tray_e2e_tests PROPERTIES LABELS e2e)
  pellix_wine_flavour(tray_e2e_tests)
  # The History page, the scan log and "Start with Windows", with the same real pieces.
  add_test(NAME tray_history_tests
           COMMAND bash ${here}/history_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/history-test)
  set_tests_properties(tray_history_tests PROPERTIES LABELS e2e)
  pellix_wine_flavour(tray_history_tests)
  # Hostile labels against every kind of Program, through the real parsers.
  add_test(NAME tray_launch_table_tests
           COMMAND bash ${here}/launch_table_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/launch-table)
  set_tests_properties(tray_launch_table_tests PROPERTIES LABELS e2e)
  pellix_wine_flavour(tray_launch_table_tests)
  add_dependencies(pellix pellix-offer pellix-record-argv)
  # Other keyboard layouts, and Wine's notepad and wordpad as the applications.
  add_test(NAME tray_apps_e2e_tests
           COMMAND bash ${here}/apps_e2e.sh ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/apps-e2e)
  set_tests_properties(tray_apps_e2e_tests PROPERTIES LABELS e2e)
  pellix_wine_flavour(tray_apps_e2e_tests)
  # Real X keyboard layouts: exactly the text composed, in notepad and wordpad. The longer
  # run (--long, scripts/layouts-long) adds seven layouts and every separator.
  add_test(NAME tray_layouts_e2e_tests
           COMMAND bash ${here}/layouts_e2e.sh ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/layouts-e2e)
  set_tests_properties(tray_layouts_e2e_tests PROPERTIES LABELS e2e)
  pellix_wine_flavour(tray_layouts_e2e_tests)
  # Pellix in folders named in Cyrillic and in Chinese, outside the system's code page.
  add_test(NAME tray_any_folder_e2e
           COMMAND bash ${here}/any_folder_e2e.sh ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/any-folder)
  set_tests_properties(tray_any_folder_e2e PROPERTIES LABELS e2e)
  pellix_wine_flavour(tray_any_folder_e2e)
  add_dependencies(pellix pellix-layout-check)
  add_dependencies(pellix pellix-wand-keys)
endif()
