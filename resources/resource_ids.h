// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_LAUNCHER 1
#define IDB_CALIX 101
#define IDB_LOG 102
