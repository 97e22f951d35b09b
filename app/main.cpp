#include "app/OrvikRescaler.h"

int qMain(int argc, char** argv)
{
    OrvikRescaler application(argc, argv);
    return application.start();
}

int main(int argc, char** argv)
{
    return qMain(argc, argv);
}
