# cmake -DBUILD_DIR=<build> -DPREFIX=<empty folder> [-DWITH_GUI=ON] -P CheckInstall.cmake
# The command line's component alone first (the quarnex-cli package: nothing of the windows), then
# everything.
set(cli_files bin/quarnex-cli bin/quarnex-sim share/man/man1/quarnex-cli.1.gz
    share/man/man1/quarnex-sim.1.gz share/bash-completion/completions/quarnex-cli
    share/doc/quarnex-cli/copyright share/doc/quarnex-cli/changelog.gz
    share/doc/quarnex-cli/examples/60-quarnex-ftdi-latency.rules
    lib/systemd/system/quarnex-fleet.service lib/systemd/system/quarnex-fleet.timer
    share/doc/quarnex-cli/examples/fleet.ini)
set(gui_files bin/quarnex share/applications/quarnex.desktop
    share/icons/hicolor/scalable/apps/quarnex.svg share/man/man1/quarnex.1.gz
    share/metainfo/io.github.quarnex.Quarnex.metainfo.xml share/doc/quarnex/copyright)
foreach(component cli all)
    file(REMOVE_RECURSE "${PREFIX}")
    set(only)
    set(expected ${cli_files})
    set(absent ${gui_files})
    if(component STREQUAL cli)
        set(only --component cli)
    elseif(WITH_GUI)
        set(expected ${cli_files} ${gui_files})
        set(absent)
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" ${only}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cmake --install ${only} failed (${result}):\n${output}")
    endif()
    foreach(f IN LISTS expected)
        if(NOT EXISTS "${PREFIX}/${f}")
            message(FATAL_ERROR "${f} is not installed (${component}):\n${output}")
        endif()
    endforeach()
    foreach(f IN LISTS absent)
        if(EXISTS "${PREFIX}/${f}")
            message(FATAL_ERROR "${f} is installed with the command line's component")
        endif()
    endforeach()
endforeach()
# The fleet timer is installed, never enabled: no .wants link comes with the package.
file(GLOB_RECURSE wants "${PREFIX}/lib/systemd/*.wants/*")
if(wants)
    message(FATAL_ERROR "units enabled by the installation: ${wants}")
endif()
# The installed command line program runs on its own (no library of the build tree needed).
execute_process(COMMAND "${PREFIX}/bin/quarnex-cli" --help
    RESULT_VARIABLE result OUTPUT_VARIABLE help ERROR_VARIABLE help)
if(NOT result EQUAL 0 OR NOT help MATCHES "ports")
    message(FATAL_ERROR "installed quarnex-cli --help failed (${result}):\n${help}")
endif()

if(WITH_GUI)
    # The menu entry starts the installed program by name and names the installed icon.
    file(READ "${PREFIX}/share/applications/quarnex.desktop" entry)
    foreach(line "Exec=quarnex" "Icon=quarnex" "Type=Application")
        if(NOT entry MATCHES "\n${line}\n")
            message(FATAL_ERROR "quarnex.desktop lacks the line ${line}")
        endif()
    endforeach()
    find_program(VALIDATE desktop-file-validate)
    if(VALIDATE)
        execute_process(COMMAND "${VALIDATE}" "${PREFIX}/share/applications/quarnex.desktop"
            RESULT_VARIABLE result OUTPUT_VARIABLE problems ERROR_VARIABLE problems)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "desktop-file-validate:\n${problems}")
        endif()
    endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
