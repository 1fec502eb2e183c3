// The tool's version, as --version prints it. The one place it is set.
#pragma once

#define JRNSCAN_VERSION "1.3.0"
