#include "store/settings.h"

#include <cstring>

ProfileSettingsType ProfileSettings = {};
namespace {
// Every number 0 and every text empty at load, except NotConfigured.
constexpr AdapterStateType InitialAdapterState() {
    AdapterStateType state{};
    state.NotConfigured = 1;
    return state;
}
}  // namespace

AdapterStateType AdapterState = InitialAdapterState();

// The encoded factory key record: valid header, transmit key 1, data
// security off, four empty keys.
const char FactoryKeyText[kEncodedKeyTextLength + 1] =
    "C\\K;8V6+'FBO(AQ])&Z4)W&7*G2:+7>=,'J@,WVC-GbF.8.I/(:L/XFO0HRR18^U2)*X2Y6[3IB^49Na5)Zd5Z''6J3*7:?-8*K08V";

const char ProductKeyPath[] = "Software\\Kestrel Wireless Solution\\Driver";
const char ClientManagerKeyPath[] = "Software\\Kestrel Wireless Solution\\Client Manager";

void ResetProfileDefaults() {
    ProfileSettings.PMEnabled = 0;
    ProfileSettings.MicroWaveRobustness = 0;
    ProfileSettings.CreateIBSS = 0;
    ProfileSettings.APMode = 0;
    ProfileSettings.SystemScale = 1;
    ProfileSettings.PortType = 1;
    ProfileSettings.OwnChannel = 1;
    ProfileSettings.RTSThreshold = 2347;
    ProfileSettings.OwnSSID[0] = '\0';
    ProfileSettings.DesiredSSID[0] = '\0';
    ProfileSettings.NetworkAddress[0] = '\0';
    std::memcpy(ProfileSettings.Encryption, FactoryKeyText, sizeof FactoryKeyText);
}

void ResetSettingsRecords() {
    ProfileSettings = ProfileSettingsType{};
    AdapterState = InitialAdapterState();
}

