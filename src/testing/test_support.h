#pragma once
// Everything a test needs to build its data and its world: builders, fakes, temp folders.

#include "testing/binary_library_builder.h"
#include "testing/child_process.h"
#include "testing/code_page_932.h"
#include "testing/memory_file_system.h"
#include "testing/schematic_builder.h"
#include "testing/temp_folder.h"
#include "testing/text_library_builder.h"
#include "testing/tosk_ini_builder.h"
