#include "settings/config.h"

Config::Config()
    : QSettings(QSettings::IniFormat, QSettings::UserScope, "Sorrel Works", "PellowQuarnby")
{
}

Config *Config::instance()
{
    // Created on first use and kept until the process ends; main() syncs it
    // after the event loop so late writes still reach the file.
    static Config *config = new Config();
    return config;
}
