<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
    <context>
        <name>CalibrationData</name>
        <message>
            <source>cm (厘米)</source>
            <translation>cm (centimeters)</translation>
        </message>
        <message>
            <source>m (米)</source>
            <translation>m (meters)</translation>
        </message>
        <message>
            <source>mm (毫米)</source>
            <translation>mm (millimeters)</translation>
        </message>
        <message>
            <source>px (像素)</source>
            <translation>px (pixels)</translation>
        </message>
        <message>
            <source>μm (微米)</source>
            <translation>μm (micrometers)</translation>
        </message>
        <message>
            <source>未定义</source>
            <translation>Undefined</translation>
        </message>
    </context>
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
    <context>
        <name>ShapeTypes</name>
        <message>
            <source>3点椭圆</source>
            <translation>3-Point Ellipse</translation>
        </message>
        <message>
            <source>3点矩形</source>
            <translation>3-Point Rectangle</translation>
        </message>
        <message>
            <source>3点线段</source>
            <translation>3-Point Line</translation>
        </message>
        <message>
            <source>3点角</source>
            <translation>3-Point Angle</translation>
        </message>
        <message>
            <source>4点角</source>
            <translation>4-Point Angle</translation>
        </message>
        <message>
            <source>5点椭圆</source>
            <translation>5-Point Ellipse</translation>
        </message>
        <message>
            <source>两点圆</source>
            <translation>2-Point Circle</translation>
        </message>
        <message>
            <source>双圆</source>
            <translation>Double Circle</translation>
        </message>
        <message>
            <source>圆</source>
            <translation>Circle</translation>
        </message>
        <message>
            <source>圆弧</source>
            <translation>Arc</translation>
        </message>
        <message>
            <source>垂线</source>
            <translation>Perpendicular Line</translation>
        </message>
        <message>
            <source>多边形</source>
            <translation>Polygon</translation>
        </message>
        <message>
            <source>平行线</source>
            <translation>Parallel Lines</translation>
        </message>
        <message>
            <source>折线</source>
            <translation>Polyline</translation>
        </message>
        <message>
            <source>文本</source>
            <translation>Text</translation>
        </message>
        <message>
            <source>未知</source>
            <translation>Unknown</translation>
        </message>
        <message>
            <source>椭圆</source>
            <translation>Ellipse</translation>
        </message>
        <message>
            <source>比例尺</source>
            <translation>Scale Bar</translation>
        </message>
        <message>
            <source>直线</source>
            <translation>Straight Line</translation>
        </message>
        <message>
            <source>矩形</source>
            <translation>Rectangle</translation>
        </message>
        <message>
            <source>箭头</source>
            <translation>Arrow</translation>
        </message>
    </context>
    <context>
        <name>VideoRecorder</name>
        <message>
            <source>写入帧失败: %1</source>
            <translation>Failed to write the frame: %1</translation>
        </message>
        <message>
            <source>创建媒体缓冲区失败: %1</source>
            <translation>Failed to create the media buffer: %1</translation>
        </message>
        <message>
            <source>创建输入媒体类型失败</source>
            <translation>Failed to create the input media type</translation>
        </message>
        <message>
            <source>创建输出媒体类型失败</source>
            <translation>Failed to create the output media type</translation>
        </message>
        <message>
            <source>开始写入失败: %1</source>
            <translation>Failed to begin writing: %1</translation>
        </message>
        <message>
            <source>无效的帧尺寸或帧率</source>
            <translation>Invalid frame size or frame rate</translation>
        </message>
        <message>
            <source>无法创建视频文件</source>
            <translation>Cannot create the video file</translation>
        </message>
        <message>
            <source>无法创建视频文件: %1</source>
            <translation>Cannot create the video file: %1</translation>
        </message>
        <message>
            <source>添加视频流失败: %1</source>
            <translation>Failed to add the video stream: %1</translation>
        </message>
    </context>
</TS>
