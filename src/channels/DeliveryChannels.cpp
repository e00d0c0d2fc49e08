#include "channels/DeliveryChannels.h"

DeliveryChannels::DeliveryChannels(EngineContext& context, QObject* parent)
    : QObject(parent), m_modem(m_port), m_ledger(context), m_sender(context, m_http, m_modem, m_ledger)
{
}
