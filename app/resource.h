// Ids of the program's resources, shared by the resource script and the code.
#pragma once

#define IDB_BACKGROUND 105
#define IDI_APP 114
#define IDR_ACCELERATORS 117
#define IDC_NEXT_FIELD 40007
#define IDC_SUBMIT 40009
