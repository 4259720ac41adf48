// zyrsat: plots satellite images.
#include "driver/flags.h"
#include "driver/res.h"
#include "driver/sat.h"
#include "driver/util.h"

int main(int argc, char **argv)
{
    RES_init(argc, argv, SAT_keyed_resources(), SAT_positional_resources());

    if (FLAG_help()) {
        char *prog = RES_get_progname(nullptr);
        MESS_print(15, "%s: This program plots satellite data\n", prog);
        RES_help_print(prog, SAT_keyed_resources(), SAT_positional_resources());
        ZYR_exit(0);
    }

    return SAT_main();
}
