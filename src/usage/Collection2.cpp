#include "usage/Collection2.h"

void Collection2::Add(const Rec& record) {
    for (qsizetype i = 0; i < items_.size(); ++i) {
        clsUsageRec& item = *items_[i];
        if (item.usageDate > record->usageDate) {
            items_.insert(i, record);
            return;
        }
        if (item.usageDate == record->usageDate) {
            item.dataSent += record->dataSent;
            item.dataReceived += record->dataReceived;
            item.dataPassthru += record->dataPassthru;
            item.dataTotalUsage += record->dataTotalUsage;
            return;
        }
    }
    items_.append(record);
}
