// The one place stb_image_write's code is compiled; a library of its own,
// so that its warnings are its own and not errors of the project's code.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
