#pragma once

// Numeric ids of the program's resources (the "PNG" ones are of that custom type).
#define IDI_PICTARO        128
#define IDB_START          130
#define IDB_TILE           131
#define IDB_FAILED         133
#define IDR_PNG_MARK       134
#define IDR_PNG_FRAME      135
#define IDR_PNG_LINK_HOVER 136
#define IDR_PNG_LINK       137
