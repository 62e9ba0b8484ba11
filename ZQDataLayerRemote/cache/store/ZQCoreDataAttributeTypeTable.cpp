#include "ZQDataLayerRemote/cache/store/ZQCoreDataAttributeTypeTable.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"

using platform::AttributeType;

AttributeType ZQCoreDataAttributeTypeTable::numericAttributeType(uint32_t length,
                                                                 uint32_t decimals) {
    if (decimals == 0) {
        if (length <= 4) return AttributeType::Integer16;
        if (length <= 9) return AttributeType::Integer32;
        if (length <= 18) return AttributeType::Integer64;
        return AttributeType::Decimal;
    }
    // With decimals the length counts the point as well. A length of 0 leaves no room for it and
    // bounds nothing, so the exact kind is the only safe one.
    if (length == 0) return AttributeType::Decimal;
    uint32_t digits = length - 1;
    if (digits <= 6) return AttributeType::Float;
    if (digits <= 15) return AttributeType::Double;
    return AttributeType::Decimal;
}

AttributeType ZQCoreDataAttributeTypeTable::attributeTypeForFieldInfo(
    const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo) {
    if (!fieldInfo) return AttributeType::String;
    if (ZQEntityHelper::fieldInfoIsSDTData(fieldInfo)) return AttributeType::String;
    switch (fieldInfo->entityDataFieldInfoDataType()) {
        case ZQDataTypeNumeric:
            // The host resolves based-on references when it loads the model, so length and
            // decimals are final here.
            return numericAttributeType(fieldInfo->entityDataFieldInfoLength(),
                                        fieldInfo->entityDataFieldInfoDecimals());
        case ZQDataTypeDate:
        case ZQDataTypeDateTime:
            return AttributeType::Date;
        case ZQDataTypeBoolean:
            return AttributeType::Boolean;
        default:
            return AttributeType::String;
    }
}
