<?xml version="1.0" encoding="UTF-8" ?>
<result>
CURRENT_VERSION=108
CUSTOMER_SUPPORT_URL=http://www.quelm-gaming.example/support
DOWNLOAD_VERSION_URL=http://www.quelm-gaming.example/downloads/padwright
</result>
