// The two global settings records: everything the applet shows, edits,
// stores and sends to the card. One instance of each per loaded module.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/fixed_text.h"

// Every settings text lives in a buffer of this size (255 characters and the
// terminator at most).
constexpr size_t kSettingsTextSize = 256;
constexpr int kProfileCount = 4;

// The working copy of one profile's driver parameters. Field names are the
// names of the registry values they mirror.
struct ProfileSettingsType {
    char Encryption[kSettingsTextSize];   // encoded key record text
    char DesiredSSID[kSettingsTextSize];  // network the station joins
    char OwnSSID[kSettingsTextSize];      // network the station creates as a base station
    char OwnName[kSettingsTextSize];      // station name: the computer name
    uint32_t SystemScale;                 // distance between access points: 1 large, 2 medium, 3 small
    uint32_t MicroWaveRobustness;         // interference robustness off / on
    uint32_t RTSThreshold;                // 2347 means RTS/CTS off
    uint32_t PMEnabled;                   // card power management off / on
    uint32_t CreateIBSS;                  // may create a peer-to-peer network
    uint32_t APMode;                      // 1: acts as a base station
    uint32_t PortType;
    uint32_t OwnChannel;                  // in memory only, never stored
    char NetworkAddress[kSettingsTextSize];  // 12 hex digits, empty: the card's own
};

// Adapter-wide values, the table of the four profiles and flags of the run.
// Per-profile arrays are indexed by profile number - 1, except RestartFlags,
// which has an entry for profile number 0 too.
struct AdapterStateType {
    char ConfigName[kProfileCount][kSettingsTextSize];
    uint32_t NetworkType[kProfileCount];
    uint32_t ConfigType;  // current profile 1..4, 0 before any was chosen
    uint32_t Configured;
    uint32_t DriverEnable;
    uint32_t IoBaseAddress;
    uint32_t InterruptNumber;
    uint32_t DriverVariant;
    uint32_t DriverMajor;
    uint32_t DriverMinor;
    uint32_t SoftexPcmcia;
    uint32_t LastNetworkType[kProfileCount];
    uint32_t ProfileNeedsEdit[kProfileCount];
    uint32_t RestartFlags[kProfileCount + 1];
    uint32_t NotConfigured;
};

extern ProfileSettingsType ProfileSettings;
extern AdapterStateType AdapterState;

// Network types: the position of the type's name in the string table,
// counted from string 1449.
enum : uint32_t {
    NetAccessPoint = 0,
    NetResidentialGateway = 1,
    NetPeerToPeerGroup = 2,
    NetActAsBaseStation = 3,
    NetInternetAccessServer = 4,
    NetOfficeRouterClient = 5,
    NetAdHocDemoMode = 6,
};
constexpr int kNetworkTypeCount = 7;
constexpr unsigned kNetworkTypeFirstString = 1449;

// Restart reasons kept per profile in AdapterState.RestartFlags.
enum : uint32_t {
    RestartMacAddress = 1,
    RestartResources = 2,
};

// The encoded factory key record (102 characters and the terminator).
constexpr size_t kEncodedKeyTextLength = 102;
extern const char FactoryKeyText[kEncodedKeyTextLength + 1];

// Registry places shared with the Client Manager, below HKEY_LOCAL_MACHINE.
extern const char ProductKeyPath[];
extern const char ClientManagerKeyPath[];

// Puts the profile parameters back to their defaults. Leaves OwnName, the
// key record and AdapterState alone; writes nothing to the registry.
void ResetProfileDefaults();

// Both records as they are when the module has just been loaded.
void ResetSettingsRecords();
