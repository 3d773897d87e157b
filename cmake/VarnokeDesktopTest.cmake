# Tests that need a desktop run inside tests/desktop/desktop-session: an
# Xvfb screen, icewm with its tray and a D-Bus session bus of their own.
# They carry the label "desktop" and take turns on one lock, so that only
# one session's keys and windows compete with the other tests for the cores;
# their high cost starts them first, to overlap with the rest.
set(VARNOKE_DESKTOP_SESSION ${PROJECT_SOURCE_DIR}/tests/desktop/desktop-session)
set(VARNOKE_X11_WAIT ${PROJECT_BINARY_DIR}/tests/x11-wait)
# The test properties that give desktop tests their turns and start them first.
set(VARNOKE_DESKTOP_TURNS RESOURCE_LOCK desktop COST 1000)

# varnoke_add_desktop_test(<name> [NO_WM] [NO_DBUS] COMMAND <command...>
#                          [ENVIRONMENT <NAME=value...>])
function(varnoke_add_desktop_test name)
  cmake_parse_arguments(ARG "NO_WM;NO_DBUS" "" "COMMAND;ENVIRONMENT" ${ARGN})
  set(session_args)
  if(ARG_NO_WM)
    list(APPEND session_args --no-wm)
  endif()
  if(ARG_NO_DBUS)
    list(APPEND session_args --no-dbus)
  endif()
  add_test(NAME ${name} COMMAND ${VARNOKE_DESKTOP_SESSION} ${session_args} -- ${ARG_COMMAND})
  set_tests_properties(${name} PROPERTIES
    LABELS desktop ${VARNOKE_DESKTOP_TURNS}
    ENVIRONMENT "VARNOKE_X11_WAIT=${VARNOKE_X11_WAIT};${ARG_ENVIRONMENT}")
endfunction()

# varnoke_discover_desktop_tests(<gtest target> [NO_WM]): every test of a
# GoogleTest program as a test of its own, each on a fresh desktop.
function(varnoke_discover_desktop_tests target)
  cmake_parse_arguments(ARG "NO_WM" "" "" ${ARGN})
  set(emulator ${VARNOKE_DESKTOP_SESSION})
  if(ARG_NO_WM)
    list(APPEND emulator --no-wm)
  endif()
  list(APPEND emulator --)
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR "${emulator}")
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS desktop ${VARNOKE_DESKTOP_TURNS} TIMEOUT 120
               ENVIRONMENT "VARNOKE_X11_WAIT=${VARNOKE_X11_WAIT}")
endfunction()

# Tests on a Wayland desktop of their own (tests/desktop/wayland-session:
# headless mutter with XWayland and its own buses) carry the label
# "wayland" and take turns on a lock of their own, beside the X11 ones.
set(VARNOKE_WAYLAND_SESSION ${PROJECT_SOURCE_DIR}/tests/desktop/wayland-session)
set(VARNOKE_WAYLAND_TURNS RESOURCE_LOCK wayland COST 900)

# varnoke_discover_wayland_tests(<gtest target>): every test of a
# GoogleTest program as a test of its own, each on a fresh Wayland desktop.
function(varnoke_discover_wayland_tests target)
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR
                                             "${VARNOKE_WAYLAND_SESSION};--")
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS wayland ${VARNOKE_WAYLAND_TURNS} TIMEOUT 120
               ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/wayland/lsan.supp")
endfunction()
