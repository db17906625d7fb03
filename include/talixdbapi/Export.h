// Symbol visibility of the public classes: the libraries are built with hidden
// visibility and export only what carries these macros.
#pragma once

#define TALIXDBAPI_EXPORT __attribute__((visibility("default")))
