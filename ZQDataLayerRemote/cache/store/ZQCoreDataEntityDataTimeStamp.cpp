#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataTimeStamp.hpp"

std::optional<platform::Date> ZQCoreDataEntityDataTimeStamp::timeStamp() const {
    return storedValueForKey(kTimeStampKey).date();
}

platform::ErrorPtr ZQCoreDataEntityDataTimeStamp::setTimeStamp(platform::Date timeStamp) {
    return setValueForKey(platform::Value(timeStamp), kTimeStampKey);
}
