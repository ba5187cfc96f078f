// The four named profiles: which exist, their names and network types, and
// which one is current. Kept below the driver key and published under the
// product key for the Client Manager.
#pragma once

void LoadProfileList();
void SaveProfileList();
