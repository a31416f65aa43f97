#include "app/program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    framla::app::Program program;
    return program.run(QApplication::arguments().mid(1));
}
