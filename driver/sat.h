// The satellite display driver: the program's resources and, as the program
// grows, the per-file and per-frame plotting.
#pragma once

// The resources this program declares, as zero-ended id lists in the order
// its help lists them: the keyed options, then the positional file names.
const int *SAT_keyed_resources();
const int *SAT_positional_resources();
