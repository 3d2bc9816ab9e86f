#include "app/ui/twinlark_app.h"

int main(int argc, char** argv)
{
    CTwinLarkApp app(argc, argv);
    return app.Run();
}
