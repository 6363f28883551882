#pragma once

#include <QSettings>

// The program's settings store: one INI file in the user's configuration
// folder. Values are read at each use and never cached, so every reader sees
// what the last writer stored.
class Config : public QSettings
{
    Q_OBJECT
    Q_DISABLE_COPY(Config)

public:
    static Config *instance();

private:
    Config();
};
