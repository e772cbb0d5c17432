# Two imported targets over wx-config: wx::base (wxBase and wxNet, no display needed) and
# wx::gui (the whole shared GTK toolkit).
find_program(WX_CONFIG wx-config REQUIRED)

function(parlo_wx_target name libs)
    execute_process(COMMAND ${WX_CONFIG} --cxxflags ${libs}
                    OUTPUT_VARIABLE cxxflags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${WX_CONFIG} --libs ${libs}
                    OUTPUT_VARIABLE ldflags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(cxxflags UNIX_COMMAND "${cxxflags}")
    separate_arguments(ldflags UNIX_COMMAND "${ldflags}")
    set(includes "")
    set(options "")
    foreach(flag IN LISTS cxxflags)
        if(flag MATCHES "^-I(.*)")
            list(APPEND includes ${CMAKE_MATCH_1})
        else()
            list(APPEND options ${flag})
        endif()
    endforeach()
    add_library(${name} INTERFACE IMPORTED GLOBAL)
    # System includes keep the toolkit's own warnings out of our -Werror build.
    set_target_properties(${name} PROPERTIES
        INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${includes}"
        INTERFACE_INCLUDE_DIRECTORIES "${includes}"
        INTERFACE_COMPILE_OPTIONS "${options}"
        INTERFACE_LINK_LIBRARIES "${ldflags}")
endfunction()

parlo_wx_target(wx::base "base,net")
parlo_wx_target(wx::gui "core,base,net")

# On GTK the window code also calls GTK itself (hints the toolkit does not expose).
execute_process(COMMAND ${WX_CONFIG} --query-toolkit
                OUTPUT_VARIABLE WX_TOOLKIT OUTPUT_STRIP_TRAILING_WHITESPACE)
if(WX_TOOLKIT MATCHES "^gtk")
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET GLOBAL gtk+-3.0)
    set_property(TARGET wx::gui APPEND PROPERTY INTERFACE_LINK_LIBRARIES PkgConfig::GTK3)
endif()
# Outside Windows the tray icon is also a StatusNotifierItem, whose menu goes through dbusmenu,
# and the site password is kept in the desktop's keyring: parlo::desktop is what the window code
# needs of the desktop besides the toolkit.
add_library(parlo::desktop INTERFACE IMPORTED GLOBAL)
if(NOT WIN32)
    pkg_check_modules(DBUSMENU REQUIRED IMPORTED_TARGET GLOBAL dbusmenu-glib-0.4)
    set_property(TARGET parlo::desktop APPEND PROPERTY INTERFACE_LINK_LIBRARIES PkgConfig::DBUSMENU)
    # The site password goes into the desktop's keyring through libsecret.
    pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET GLOBAL libsecret-1)
    set_property(TARGET parlo::desktop APPEND PROPERTY INTERFACE_LINK_LIBRARIES PkgConfig::LIBSECRET)
    # Notifications through libnotify itself: the toolkit's wrapper can send no hints of ours.
    pkg_check_modules(LIBNOTIFY REQUIRED IMPORTED_TARGET GLOBAL libnotify)
    set_property(TARGET parlo::desktop APPEND PROPERTY INTERFACE_LINK_LIBRARIES PkgConfig::LIBNOTIFY)
endif()
