# How a library shows its headers: each library publishes an include root of its own in the build tree, holding
# only a link to its folder of src/ (build/include/tollbook_data/data -> src/data). A source therefore reaches
# "data/Dataset.h" only when its target links tollbook_data, directly or through a library that links it
# publicly: a header of a layer above, or of a library not linked, does not compile.

# tollbook_include_root(<target> <folder> [FILES <header>...])
#   Publishes src/<folder> to <target> and to everything that links it, as "<folder>/<header>". With FILES only
#   those headers of the folder are published (a plain C++ library beside a Qt one in the same folder).
function(tollbook_include_root target folder)
    cmake_parse_arguments(ARG "" "" "FILES" ${ARGN})
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    set(source ${CMAKE_SOURCE_DIR}/src/${folder})
    if(NOT IS_DIRECTORY ${source})
        message(FATAL_ERROR "tollbook_include_root(${target}): no folder src/${folder}")
    endif()
    if(ARG_FILES)
        file(MAKE_DIRECTORY ${root}/${folder})
        foreach(header IN LISTS ARG_FILES)
            file(CREATE_LINK ${source}/${header} ${root}/${folder}/${header} SYMBOLIC)
        endforeach()
    else()
        get_filename_component(parent ${root}/${folder} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${source} ${root}/${folder} SYMBOLIC)
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()
