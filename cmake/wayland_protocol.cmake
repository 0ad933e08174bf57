# wayland_protocol(XML OUT_DIR SOURCES_VAR [CXX_NAMES]): client code for the Wayland protocol in
# XML, made at build time by wayland-scanner: OUT_DIR/NAME-client-protocol.h and
# OUT_DIR/NAME-protocol.c (NAME: XML's file name without ".xml"), both added to the list
# SOURCES_VAR. CXX_NAMES renames an argument called "namespace" in the header, which C++ could
# not compile; argument names are not part of the protocol on the wire.
# Also sets WAYLAND_PROTOCOLS_DIR, the system's wayland-protocols.
find_package(PkgConfig REQUIRED)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
if(NOT WAYLAND_PROTOCOLS_DIR OR NOT WAYLAND_SCANNER)
    message(FATAL_ERROR "wayland-protocols and wayland-scanner are needed (scripts/install-deps)")
endif()

function(wayland_protocol xml out_dir sources)
    get_filename_component(name ${xml} NAME_WLE)
    set(header ${out_dir}/${name}-client-protocol.h)
    set(code ${out_dir}/${name}-protocol.c)
    set(rename)
    if(CXX_NAMES IN_LIST ARGN)
        set(rename COMMAND sed -i -E "s/\\bnamespace\\b/name_space/g" ${header})
    endif()
    file(MAKE_DIRECTORY ${out_dir})
    add_custom_command(
        OUTPUT ${header} ${code}
        COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
        ${rename}
        COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
        DEPENDS ${xml} VERBATIM)
    set(${sources} ${${sources}} ${code} ${header} PARENT_SCOPE)
endfunction()
