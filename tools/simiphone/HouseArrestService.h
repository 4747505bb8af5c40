#pragma once

#include "simiphone/ServiceContext.h"

// "com.apple.mobile.house_arrest": a VendContainer (or VendDocuments) request names an app by
// bundle identifier; once vended, the same connection speaks AFC on that app's container.
class HouseArrestService
{
public:
    explicit HouseArrestService(ServiceContext &context);
    void run();

private:
    ServiceContext &m_context;
};
