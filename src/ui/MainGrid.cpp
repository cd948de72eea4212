// The installed main grid.
#include "MainGrid.h"

namespace {
MainGrid *installed = nullptr;
}

MainGrid *mainGrid()
{
    return installed;
}

void setMainGrid(MainGrid *grid)
{
    installed = grid;
}
