#include "DeviceIdentity.h"

#include <QSysInfo>

QString defaultDeviceName()
{
    const QString model = deviceModelName();
    return model.isEmpty() ? QSysInfo::machineHostName() : model;
}
