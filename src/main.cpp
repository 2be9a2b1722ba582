#include "app/mdlMain.h"

int main(int argc, char *argv[])
{
    return RunArdentia(argc, argv);
}
