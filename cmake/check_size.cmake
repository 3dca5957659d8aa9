# Fails the build when a product image is larger than it may be.
#   cmake -DIMAGE=<file> -DLIMIT=<bytes> -P check_size.cmake
file(SIZE "${IMAGE}" size)
get_filename_component(name "${IMAGE}" NAME)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${name}: ${size} bytes, more than the ${LIMIT} it may have")
endif()
message(STATUS "${name}: ${size} bytes (at most ${LIMIT})")
