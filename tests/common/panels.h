#ifndef PANELS_H
#define PANELS_H

// The main window's six panels, in the order of its panel area: the tool
// bar action that shows each (its text and icon file), the panel's object
// and class names, and the title shown above it.
struct PanelInfo
{
    const char *action;
    const char *text;
    const char *icon;
    const char *panel;
    const char *className;
    const char *title;
};

inline constexpr PanelInfo panelInfo[] = {
        {"actionConfig", "Data Link", "dataLink.svg", "config_", "Configuration",
         "Antenna configuration"},
        {"actionCoverage", "Coverage", "coverage_plot.svg", "cover_", "Coverage",
         "Antenna coverage"},
        {"actionMeasurement", "Measurement", "Measurement.svg", "meas_", "Measurement",
         "Antenna measurement"},
        {"actionSwitching", "Switching", "gears_maintenance.svg", "switch_", "Switching",
         "Antenna switching mode"},
        {"actionFactory_settings", "Factory settings", "factory_settings.svg", "mem_", "Memory",
         "Factory settings"},
        {"actionTest_System", "Test system", "Test_System.svg", "system_", "Systeme",
         "Test system"},
};

#endif // PANELS_H
