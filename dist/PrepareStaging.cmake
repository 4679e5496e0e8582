# Run by CPack on the staged files of the packages before it packs them: strips the programs as
# Debian does, symbols and the .comment and .note sections that name the compiler and the build.
# (CPack's own stripping keeps .comment; CPack gives every file the time of SOURCE_DATE_EPOCH.)
file(GLOB_RECURSE staged "${CPACK_TEMPORARY_DIRECTORY}/*")
list(FILTER staged INCLUDE REGEX "/usr/bin/[^/]+$")
if(NOT staged)
    message(FATAL_ERROR "no program staged in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(program IN LISTS staged)
    execute_process(COMMAND "${CPACK_OBJCOPY_EXECUTABLE}" --strip-all --remove-section=.comment
                            --remove-section=.note "${program}"
        RESULT_VARIABLE result ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "objcopy could not strip ${program}: ${error}")
    endif()
endforeach()
