// Program entry.
#include "Startup.h"
#include "TApplication.h"

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    return Startup::run();
}
