// Ids of the layer tests' resource script.
#define IDB_TILE 205
#define IDB_TALL_TILE 206
#define IDA_KEYS 217
#define CMD_NEXT 40007
