#include "simiphone/ServiceContext.h"

#include "simiphone/PhoneRegistry.h"

void ServiceContext::setPlugged(bool plugged) const
{
    phone->folder().setUnplugged(!plugged);
    if (registry)
        registry->rescan();
    else if (!plugged)
        phone->detach();   // no registry to tell: the watcher reports it
}
