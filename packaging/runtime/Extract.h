#pragma once
// Writes the contents of an opened image into a folder. Names are checked ("", ".", ".." and
// names holding '/' are refused), every folder is entered with O_NOFOLLOW relative to its
// parent's descriptor, and links from the image are written as links but never followed, so
// nothing can land outside the folder. Any thread.
#include "Image.h"

#include <stddef.h>

// Extracts into the folder DESTINATION (created when missing). PATTERN, when not null, is an
// fnmatch(3) pattern matched against each entry's path inside the image (without a leading
// "/"); then only matching entries, and the folders leading to them, are written. VERBOSE
// prints each written path as DESTINATION/path. Returns 0, or -1 with a one-line reason.
int extractImage (Image* image, const char* destination, const char* pattern, int verbose, char* error, size_t errorSize);

// Removes the folder PATH and everything in it without following links. Returns 0 or -1.
int removeTree (const char* path);
