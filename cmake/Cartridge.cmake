# kestra_add_cartridge(NAME SOURCE [COLOR] [OVERSIZED])
# Assembles roms/SOURCE with NASM into the last banks of an image and lets
# kestra-mkcart pad it to its ROM size and fill in the checksum. The image is
# ${CMAKE_BINARY_DIR}/roms/NAME.ws, or NAME.wsc with COLOR. With OVERSIZED the
# image keeps every bank assembled even where the footer declares fewer.
find_program(NASM_EXECUTABLE nasm REQUIRED)

function(kestra_add_cartridge name source)
  cmake_parse_arguments(CART "COLOR;OVERSIZED" "" "" ${ARGN})
  set(ext ws)
  if(CART_COLOR)
    set(ext wsc)
  endif()
  set(mkcart_flags)
  if(CART_OVERSIZED)
    set(mkcart_flags --oversized)
  endif()
  set(src ${CMAKE_SOURCE_DIR}/roms/${source})
  set(outdir ${CMAKE_BINARY_DIR}/roms)
  set(raw ${outdir}/${name}.bin)
  set(image ${outdir}/${name}.${ext})
  get_filename_component(srcdir ${src} DIRECTORY)
  # NASM's -MD lists only the main source, not what it includes, so every
  # include a cartridge can reach is a dependency.
  file(GLOB_RECURSE includes CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/roms/include/*.inc ${srcdir}/*.inc)
  add_custom_command(
    OUTPUT ${raw}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${NASM_EXECUTABLE} -f bin -I${CMAKE_SOURCE_DIR}/roms/include/ -I${srcdir}/
            -MD ${raw}.d -MT ${raw} -o ${raw} ${src}
    DEPENDS ${src} ${includes}
    DEPFILE ${raw}.d
    COMMENT "Assembling cartridge ${name}"
    VERBATIM)
  add_custom_command(
    OUTPUT ${image}
    COMMAND kestra-mkcart ${mkcart_flags} ${raw} ${image}
    DEPENDS ${raw} kestra-mkcart
    COMMENT "Building image ${name}.${ext}"
    VERBATIM)
  add_custom_target(cart_${name} ALL DEPENDS ${image})
  set_property(GLOBAL APPEND PROPERTY KESTRA_CARTRIDGES cart_${name})
endfunction()
