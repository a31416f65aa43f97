#include "app/program.h"

#include "runtime/application.h"

int main(int argc, char *argv[])
{
    framla::runtime::FramlaApplication application(argc, argv);
    framla::app::Program program;
    return program.run(framla::runtime::FramlaApplication::arguments().mid(1));
}
