#include "gateway/gateway_program.h"

int main(int argc, char *argv[])
{
    return navix::RunGateway(argc, argv);
}
