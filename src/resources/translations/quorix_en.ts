<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
    <context>
        <name>SettingsStore</name>
        <message>
            <source>已恢复默认设置，请重启软件生效。</source>
            <translation>Defaults restored; restart the software for them to take effect.</translation>
        </message>
        <message>
            <source>恢复出厂设置</source>
            <translation>Restore Factory Settings</translation>
        </message>
        <message>
            <source>确定要恢复出厂设置吗？所有自定义配置将被清除。</source>
            <translation>Restore factory settings? All custom configuration will be cleared.</translation>
        </message>
    </context>
</TS>
