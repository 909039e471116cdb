#pragma once

// Connection settings, tables and the triggers that freeze registration once the contest has started.
extern const char* const contest_schema;
