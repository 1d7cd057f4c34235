#include "engine/DempwolfTriode2.h"

template class DempwolfTriode2<0>;
