#pragma once
// The controls of the production window (resource 150), for the window and
// its tests.

namespace oriole::production_ids {

constexpr int kSettingPath = 1301;
constexpr int kSettingBrowse = 1302;
constexpr int kEraseBox = 1303;
constexpr int kSerialBox = 1314;
constexpr int kSerialMemory = 1315;
constexpr int kSerialAddress = 1316;
constexpr int kSerialWidth = 1317;
constexpr int kSerialOrder = 1318;
constexpr int kSerialEncoding = 1319;
constexpr int kSerialFirst = 1320;
constexpr int kSerialStep = 1321;
constexpr int kSerialLast = 1322;
constexpr int kSerialList = 1323;
constexpr int kSerialListBrowse = 1324;
constexpr int kWriters = 1325;
constexpr int kAllWriters = 1326;
constexpr int kRepeatBox = 1327;
constexpr int kCount = 1328;
constexpr int kStartButton = 1329;
constexpr int kStopButton = 1330;
constexpr int kCloseButton = 1331;
constexpr int kLogPath = 1335;
constexpr int kLot = 1339;
constexpr int kOperator = 1340;
constexpr int kWorkOrder = 1341;
constexpr int kEventsPath = 1342;

}  // namespace oriole::production_ids
