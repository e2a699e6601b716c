// POSIX programs inherit their terminal; commands may run where there is no screen.
#include "app/parent_console.h"

#include <QByteArray>
#include <QtGlobal>

namespace quorvane {

void useParentConsole() {}

void runWithoutScreen() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
}

} // namespace quorvane
