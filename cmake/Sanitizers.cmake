# SPDX-License-Identifier: GPL-2.0-or-later
# -DVELMORANT_SANITIZE=address,undefined or thread applies to every target.
if(VELMORANT_SANITIZE)
  set(_san "-fsanitize=${VELMORANT_SANITIZE}")
  add_compile_options(${_san} -fno-omit-frame-pointer -g)
  add_link_options(${_san})
  if(VELMORANT_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
  message(STATUS "Sanitizers: ${VELMORANT_SANITIZE}")
endif()

# Fuzz builds: coverage feedback in every library the fuzz targets link.
if(VELMORANT_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
