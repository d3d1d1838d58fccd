/* The public header compiles as C on its own (and, with -m32, checks the 32-bit layout). */
#include "sondrel/sondrel.h"

int sondrel_header_compiles(void);
