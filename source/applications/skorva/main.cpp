#include "applications/skorva/TavrinViewer.h"

int main(int argc, char** argv)
{
    return TavrinMain(argc, argv);
}
