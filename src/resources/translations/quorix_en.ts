<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
    <context>
        <name>AttributeTree</name>
        <message>
            <source>%1 的值</source>
            <translation>Value of %1</translation>
        </message>
        <message>
            <source>%1的%2，修改立即生效</source>
            <translation>%2 of %1; a change takes effect at once</translation>
        </message>
        <message>
            <source>下划线</source>
            <translation>Underline</translation>
        </message>
        <message>
            <source>值</source>
            <translation>Value</translation>
        </message>
        <message>
            <source>删除线</source>
            <translation>Strikethrough</translation>
        </message>
        <message>
            <source>半径</source>
            <translation>Radius</translation>
        </message>
        <message>
            <source>双点画线</source>
            <translation>Dash-Dot-Dotted Line</translation>
        </message>
        <message>
            <source>名称</source>
            <translation>Name</translation>
        </message>
        <message>
            <source>图元</source>
            <translation>Item</translation>
        </message>
        <message>
            <source>字体</source>
            <translation>Font</translation>
        </message>
        <message>
            <source>字体大小</source>
            <translation>Font Size</translation>
        </message>
        <message>
            <source>字体风格</source>
            <translation>Font Style</translation>
        </message>
        <message>
            <source>字距</source>
            <translation>Letter Spacing</translation>
        </message>
        <message>
            <source>实线</source>
            <translation>Solid Line</translation>
        </message>
        <message>
            <source>宽度</source>
            <translation>Width</translation>
        </message>
        <message>
            <source>属性</source>
            <translation>Properties</translation>
        </message>
        <message>
            <source>所选图形或当前绘制工具的样式，单击值进行编辑</source>
            <translation>Style of the selected shape or of the armed drawing tool; click a value to edit it</translation>
        </message>
        <message>
            <source>控制点</source>
            <translation>Control Points</translation>
        </message>
        <message>
            <source>文本标注</source>
            <translation>Text Annotation</translation>
        </message>
        <message>
            <source>文本颜色</source>
            <translation>Text Color</translation>
        </message>
        <message>
            <source>斜体</source>
            <translation>Italic</translation>
        </message>
        <message>
            <source>点画线</source>
            <translation>Dash-Dotted Line</translation>
        </message>
        <message>
            <source>点线</source>
            <translation>Dotted Line</translation>
        </message>
        <message>
            <source>画笔风格</source>
            <translation>Pen Style</translation>
        </message>
        <message>
            <source>粗体</source>
            <translation>Bold</translation>
        </message>
        <message>
            <source>红</source>
            <translation>Red</translation>
        </message>
        <message>
            <source>绘制工具的默认样式不保存此项</source>
            <translation>A drawing tool's default style does not keep this value</translation>
        </message>
        <message>
            <source>绿</source>
            <translation>Green</translation>
        </message>
        <message>
            <source>背景颜色</source>
            <translation>Background Color</translation>
        </message>
        <message>
            <source>蓝</source>
            <translation>Blue</translation>
        </message>
        <message>
            <source>虚线</source>
            <translation>Dashed Line</translation>
        </message>
        <message>
            <source>边框宽度</source>
            <translation>Border Width</translation>
        </message>
        <message>
            <source>边框颜色</source>
            <translation>Border Color</translation>
        </message>
        <message>
            <source>透明度</source>
            <translation>Opacity</translation>
        </message>
        <message>
            <source>颜色</source>
            <translation>Color</translation>
        </message>
    </context>
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
            <source>图像自带标定 %1</source>
            <translation>Image calibration %1</translation>
        </message>
        <message>
            <source>文件中的放大率列表格式错误。</source>
            <translation>The magnification list in the file is malformed.</translation>
        </message>
        <message>
            <source>文件内容不是放大率文件。</source>
            <translation>The file is not a magnification file.</translation>
        </message>
        <message>
            <source>文件无法读取。</source>
            <translation>The file cannot be read.</translation>
        </message>
        <message>
            <source>文件过大（超过 1 MB），不是放大率文件。</source>
            <translation>The file is too large (over 1 MB) to be a magnification file.</translation>
        </message>
        <message>
            <source>未定义</source>
            <translation>Undefined</translation>
        </message>
        <message>
            <source>第 %1 项（%2）：分辨率不是有效的非负数值。</source>
            <translation>Entry %1 (%2): the resolution is not a valid non-negative number.</translation>
        </message>
        <message>
            <source>第 %1 项：放大倍率“%2”重复。</source>
            <translation>Entry %1: magnification "%2" appears more than once.</translation>
        </message>
        <message>
            <source>第 %1 项：放大倍率名称为空。</source>
            <translation>Entry %1: the magnification name is empty.</translation>
        </message>
    </context>
    <context>
        <name>CalibrationDialog</name>
        <message>
            <source> 像素/米</source>
            <translation> pixels/meter</translation>
        </message>
        <message>
            <source>保存新的放大倍率</source>
            <translation>Save the new magnification</translation>
        </message>
        <message>
            <source>像素数</source>
            <translation>Pixel count</translation>
        </message>
        <message>
            <source>像素数：</source>
            <translation>Pixel count:</translation>
        </message>
        <message>
            <source>分辨率</source>
            <translation>Resolution</translation>
        </message>
        <message>
            <source>分辨率计算无效，请检查输入。</source>
            <translation>Resolution calculation is invalid. Please check the input.</translation>
        </message>
        <message>
            <source>分辨率：</source>
            <translation>Resolution:</translation>
        </message>
        <message>
            <source>单位</source>
            <translation>Unit</translation>
        </message>
        <message>
            <source>单位：</source>
            <translation>Unit:</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>定标</source>
            <translation>Calibrate</translation>
        </message>
        <message>
            <source>定标数据已不存在，无法保存。</source>
            <translation>The calibration data no longer exists; nothing can be saved.</translation>
        </message>
        <message>
            <source>实际长度</source>
            <translation>Actual length</translation>
        </message>
        <message>
            <source>实际长度的单位</source>
            <translation>Unit of the actual length</translation>
        </message>
        <message>
            <source>实际长度：</source>
            <translation>Actual length:</translation>
        </message>
        <message>
            <source>提示</source>
            <translation>Info</translation>
        </message>
        <message>
            <source>放大倍率</source>
            <translation>Magnification</translation>
        </message>
        <message>
            <source>放大倍率"%1"已存在，请在放大倍率管理中编辑。</source>
            <translation>Magnification "%1" already exists. Please edit it in the Magnification Manager.</translation>
        </message>
        <message>
            <source>放大倍率：</source>
            <translation>Magnification:</translation>
        </message>
        <message>
            <source>放弃定标</source>
            <translation>Discard the calibration</translation>
        </message>
        <message>
            <source>新放大倍率的名称，可选择或输入</source>
            <translation>Name of the new magnification; choose or type it</translation>
        </message>
        <message>
            <source>标尺线像素长度为零，请先在画面上拖动标尺线。</source>
            <translation>The ruler line has zero pixel length. Please drag a ruler line on the image first.</translation>
        </message>
        <message>
            <source>标尺线的像素长度</source>
            <translation>Pixel length of the ruler line</translation>
        </message>
        <message>
            <source>标尺线覆盖的已知长度</source>
            <translation>Known length that the ruler line covers</translation>
        </message>
        <message>
            <source>由像素数和实际长度算出的每米像素数</source>
            <translation>Pixels per meter computed from the pixel count and the actual length</translation>
        </message>
        <message>
            <source>确定</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>请在视频画面上拖动红色标尺线对齐已知长度</source>
            <translation>Drag the red ruler line on the image to align a known length</translation>
        </message>
        <message>
            <source>请输入放大率名称。</source>
            <translation>Please enter a magnification name.</translation>
        </message>
        <message>
            <source>请输入有效的实际长度。</source>
            <translation>Please enter a valid actual length.</translation>
        </message>
    </context>
    <context>
        <name>Camera</name>
        <message>
            <source>不支持当前摄像头的视频格式</source>
            <translation>The video format of this camera is not supported.</translation>
        </message>
        <message>
            <source>摄像头初始化失败，请尝试重新连接设备</source>
            <translation>Camera initialisation failed. Please try reconnecting the device.</translation>
        </message>
        <message>
            <source>摄像头启动失败，请检查设备状态</source>
            <translation>The camera failed to start. Please check the device.</translation>
        </message>
        <message>
            <source>摄像头被其他程序占用，请关闭占用程序后重试</source>
            <translation>The camera is used by another program. Please close that program and try again.</translation>
        </message>
        <message>
            <source>未检测到摄像头设备，请检查连接</source>
            <translation>No camera detected. Please check the connection.</translation>
        </message>
        <message>
            <source>相机被其他程序占用或无法访问，请检查相机连接并关闭其他使用此相机的程序</source>
            <translation>The camera is used by another program or cannot be accessed. Please check the camera connection and close any other program using this camera.</translation>
        </message>
        <message>
            <source>相机被其他程序占用，请关闭其他使用此相机的程序后重试</source>
            <translation>The camera is used by another program. Please close any other program using this camera and try again.</translation>
        </message>
    </context>
    <context>
        <name>Circle2PointItem</name>
        <message>
            <source>直径</source>
            <translation>Diameter</translation>
        </message>
    </context>
    <context>
        <name>CircleCenterRadiusItem</name>
        <message>
            <source>半径</source>
            <translation>Radius</translation>
        </message>
    </context>
    <context>
        <name>ColorToolButton</name>
        <message>
            <source>当前颜色</source>
            <translation>Current color</translation>
        </message>
        <message>
            <source>打开颜色对话框选择新的颜色</source>
            <translation>Opens the color dialog to choose a new color</translation>
        </message>
        <message>
            <source>选择颜色</source>
            <translation>Choose color</translation>
        </message>
    </context>
    <context>
        <name>DemoCameraBackend</name>
        <message>
            <source>演示相机</source>
            <translation>Demo Camera</translation>
        </message>
    </context>
    <context>
        <name>DrawingDocument</name>
        <message>
            <source>图片文件结构已损坏。</source>
            <translation>The picture file's structure is damaged.</translation>
        </message>
        <message>
            <source>当前标定的像素尺寸超出该图片格式能记录的范围。</source>
            <translation>The current calibration's pixel size is beyond what this picture format can record.</translation>
        </message>
        <message>
            <source>文件无法写入。</source>
            <translation>The file could not be written.</translation>
        </message>
        <message>
            <source>该图片格式无法记录像素尺寸。</source>
            <translation>This picture format cannot record a pixel size.</translation>
        </message>
    </context>
    <context>
        <name>DrawingHistory</name>
        <message>
            <source>修改样式</source>
            <translation>Change style</translation>
        </message>
        <message>
            <source>删除 %1 个图形</source>
            <translation>Delete %1 items</translation>
        </message>
        <message>
            <source>删除%1</source>
            <translation>Delete %1</translation>
        </message>
        <message>
            <source>添加 %1 个图形</source>
            <translation>Add %1 items</translation>
        </message>
        <message>
            <source>添加%1</source>
            <translation>Add %1</translation>
        </message>
        <message>
            <source>移动 %1 个图形</source>
            <translation>Move %1 items</translation>
        </message>
        <message>
            <source>移动或调整%1</source>
            <translation>Move or resize %1</translation>
        </message>
        <message>
            <source>编辑文本</source>
            <translation>Edit text</translation>
        </message>
    </context>
    <context>
        <name>GraphicsItemBase</name>
        <message>
            <source>无法测量</source>
            <translation>Not measurable</translation>
        </message>
    </context>
    <context>
        <name>LeftBarWidget</name>
        <message>
            <source> 保存成功</source>
            <translation> saved successfully</translation>
        </message>
        <message>
            <source>3点垂线</source>
            <translation>3-Point Perpendicular</translation>
        </message>
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
            <source>4点垂线</source>
            <translation>4-Point Perpendicular</translation>
        </message>
        <message>
            <source>4点平行线</source>
            <translation>4-Point Parallel</translation>
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
            <source>8点平行线</source>
            <translation>8-Point Parallel</translation>
        </message>
        <message>
            <source>Gamma</source>
            <translation>Gamma</translation>
        </message>
        <message>
            <source>MP4 视频 (*.mp4)</source>
            <translation>MP4 video (*.mp4)</translation>
        </message>
        <message>
            <source>一键白平衡</source>
            <translation>One-Key White Balance</translation>
        </message>
        <message>
            <source>一键白平衡失败</source>
            <translation>One-key white balance failed</translation>
        </message>
        <message>
            <source>不再提示</source>
            <translation>Don't ask again</translation>
        </message>
        <message>
            <source>丢弃</source>
            <translation>Discard</translation>
        </message>
        <message>
            <source>丢弃图片自带标定</source>
            <translation>Discard the picture's calibration</translation>
        </message>
        <message>
            <source>两点圆</source>
            <translation>2-Point Circle</translation>
        </message>
        <message>
            <source>亮度</source>
            <translation>Brightness</translation>
        </message>
        <message>
            <source>从放大倍率列表中移除</source>
            <translation>Remove it from the magnification list</translation>
        </message>
        <message>
            <source>作为放大倍率保存，以后也可使用</source>
            <translation>Save it as a magnification for later use</translation>
        </message>
        <message>
            <source>保存图片</source>
            <translation>Save Image</translation>
        </message>
        <message>
            <source>保存失败:%1</source>
            <translation>Save failed: %1</translation>
        </message>
        <message>
            <source>保存失败，请检查路径和权限</source>
            <translation>Save failed. Please check the path and permissions</translation>
        </message>
        <message>
            <source>保存录像</source>
            <translation>Save Recording</translation>
        </message>
        <message>
            <source>保存截图</source>
            <translation>Save Screenshot</translation>
        </message>
        <message>
            <source>保存融合图像</source>
            <translation>Save Fused Image</translation>
        </message>
        <message>
            <source>保留</source>
            <translation>Keep</translation>
        </message>
        <message>
            <source>保留图片自带标定</source>
            <translation>Keep the picture's calibration</translation>
        </message>
        <message>
            <source>停止录像</source>
            <translation>Stop Recording</translation>
        </message>
        <message>
            <source>全部删除</source>
            <translation>Delete All</translation>
        </message>
        <message>
            <source>关闭一键白平衡</source>
            <translation>Turn Off One-Key White Balance</translation>
        </message>
        <message>
            <source>关闭相机</source>
            <translation>Close Camera</translation>
        </message>
        <message>
            <source>其他</source>
            <translation>Miscellaneous</translation>
        </message>
        <message>
            <source>分辨率</source>
            <translation>Resolution</translation>
        </message>
        <message>
            <source>删除</source>
            <translation>Delete</translation>
        </message>
        <message>
            <source>删除全部</source>
            <translation>Delete All</translation>
        </message>
        <message>
            <source>刷新</source>
            <translation>Refresh</translation>
        </message>
        <message>
            <source>刷新相机列表</source>
            <translation>Refresh camera list</translation>
        </message>
        <message>
            <source>单位</source>
            <translation>Unit</translation>
        </message>
        <message>
            <source>双圆</source>
            <translation>Double Circle</translation>
        </message>
        <message>
            <source>图像资源</source>
            <translation>Image Resources</translation>
        </message>
        <message>
            <source>图片格式</source>
            <translation>Image Format</translation>
        </message>
        <message>
            <source>图片自带标定，尚未保留</source>
            <translation>Calibration from the picture, not kept yet</translation>
        </message>
        <message>
            <source>图片自带的像素尺寸，尚未保留</source>
            <translation>The picture's own pixel size, not kept yet</translation>
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
            <source>垂直翻转</source>
            <translation>Flip Vertically</translation>
        </message>
        <message>
            <source>增益</source>
            <translation>Gain</translation>
        </message>
        <message>
            <source>增益复位</source>
            <translation>Gain Reset</translation>
        </message>
        <message>
            <source>多点平行线</source>
            <translation>Multi-Point Parallel</translation>
        </message>
        <message>
            <source>多边形</source>
            <translation>Polygon</translation>
        </message>
        <message>
            <source>定标</source>
            <translation>Calibration</translation>
        </message>
        <message>
            <source>对比度</source>
            <translation>Contrast</translation>
        </message>
        <message>
            <source>导出报告</source>
            <translation>Export Report</translation>
        </message>
        <message>
            <source>将此相机的所有设置恢复为默认值，并清除为它保存的设置</source>
            <translation>Restores every setting of this camera to its default and clears the settings saved for it</translation>
        </message>
        <message>
            <source>将此相机的所有设置恢复为默认值，并清除为它保存的设置？</source>
            <translation>Restore every setting of this camera to its default and clear the settings saved for it?</translation>
        </message>
        <message>
            <source>展开或折叠此分组</source>
            <translation>Expands or collapses this group</translation>
        </message>
        <message>
            <source>属性</source>
            <translation>Attributes</translation>
        </message>
        <message>
            <source>已保留为放大倍率“%1”</source>
            <translation>Kept as magnification "%1"</translation>
        </message>
        <message>
            <source>已恢复相机默认设置</source>
            <translation>Camera defaults restored</translation>
        </message>
        <message>
            <source>平移</source>
            <translation>Pan</translation>
        </message>
        <message>
            <source>当前放大倍率，长度按它的定标换算</source>
            <translation>Current magnification; lengths are converted with its calibration</translation>
        </message>
        <message>
            <source>当前没有可用的相机画面</source>
            <translation>No camera frame available</translation>
        </message>
        <message>
            <source>录像</source>
            <translation>Record</translation>
        </message>
        <message>
            <source>录像完成</source>
            <translation>Recording Complete</translation>
        </message>
        <message>
            <source>录像错误</source>
            <translation>Recording Error</translation>
        </message>
        <message>
            <source>彩色</source>
            <translation>Color</translation>
        </message>
        <message>
            <source>彩色或黑白画面</source>
            <translation>Colour or black-and-white picture</translation>
        </message>
        <message>
            <source>恢复相机默认设置</source>
            <translation>Restore Camera Defaults</translation>
        </message>
        <message>
            <source>恢复默认</source>
            <translation>Restore Defaults</translation>
        </message>
        <message>
            <source>截图已保存到:%1</source>
            <translation>Screenshot saved to: %1</translation>
        </message>
        <message>
            <source>打开图片</source>
            <translation>Open Image</translation>
        </message>
        <message>
            <source>打开或关闭相机</source>
            <translation>Open or close the camera</translation>
        </message>
        <message>
            <source>打开文件</source>
            <translation>Open File</translation>
        </message>
        <message>
            <source>打开目录</source>
            <translation>Open Directory</translation>
        </message>
        <message>
            <source>打开相机</source>
            <translation>Open Camera</translation>
        </message>
        <message>
            <source>折线</source>
            <translation>Polyline</translation>
        </message>
        <message>
            <source>拍照</source>
            <translation>Capture</translation>
        </message>
        <message>
            <source>拍照和保存图片的文件格式</source>
            <translation>File format of captures and saved pictures</translation>
        </message>
        <message>
            <source>提示</source>
            <translation>Info</translation>
        </message>
        <message>
            <source>放大倍率</source>
            <translation>Magnification</translation>
        </message>
        <message>
            <source>放大倍率管理</source>
            <translation>Magnification Management</translation>
        </message>
        <message>
            <source>文本</source>
            <translation>Text</translation>
        </message>
        <message>
            <source>无法开始录像:%1</source>
            <translation>Could not start recording: %1</translation>
        </message>
        <message>
            <source>无法打开目录:%1</source>
            <translation>Could not open the folder: %1</translation>
        </message>
        <message>
            <source>曝光</source>
            <translation>Exposure</translation>
        </message>
        <message>
            <source>曝光 &amp; 增益</source>
            <translation>Exposure &amp; Gain</translation>
        </message>
        <message>
            <source>曝光 &amp;&amp; 增益</source>
            <translation>Exposure &amp;&amp; Gain</translation>
        </message>
        <message>
            <source>曝光复位</source>
            <translation>Exposure Reset</translation>
        </message>
        <message>
            <source>更改保存目录</source>
            <translation>Change Save Directory</translation>
        </message>
        <message>
            <source>更改目录</source>
            <translation>Change Directory</translation>
        </message>
        <message>
            <source>未定义</source>
            <translation>Undefined</translation>
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
            <source>水平镜像</source>
            <translation>Mirror Horizontally</translation>
        </message>
        <message>
            <source>没有可删除的图形</source>
            <translation>No items to delete</translation>
        </message>
        <message>
            <source>测量工具</source>
            <translation>Measurement Tools</translation>
        </message>
        <message>
            <source>电力线频率</source>
            <translation>Power Line Frequency</translation>
        </message>
        <message>
            <source>电力线频率，用于消除灯光闪烁</source>
            <translation>Power-line frequency, against the flicker of lamps</translation>
        </message>
        <message>
            <source>白平衡</source>
            <translation>White Balance</translation>
        </message>
        <message>
            <source>白平衡复位</source>
            <translation>White Balance Reset</translation>
        </message>
        <message>
            <source>直线</source>
            <translation>Straight Line</translation>
        </message>
        <message>
            <source>相机</source>
            <translation>Camera</translation>
        </message>
        <message>
            <source>相机传输的视频格式</source>
            <translation>Video format the camera sends</translation>
        </message>
        <message>
            <source>相机列表</source>
            <translation>Camera List</translation>
        </message>
        <message>
            <source>相机初始化失败!</source>
            <translation>Camera initialization failed!</translation>
        </message>
        <message>
            <source>相机初始化失败，请检查设备连接</source>
            <translation>Camera initialization failed. Please check the device connection.</translation>
        </message>
        <message>
            <source>相机已断开</source>
            <translation>Camera disconnected</translation>
        </message>
        <message>
            <source>相机画面的分辨率</source>
            <translation>Resolution of the camera picture</translation>
        </message>
        <message>
            <source>相机错误</source>
            <translation>Camera Error</translation>
        </message>
        <message>
            <source>矩形</source>
            <translation>Rectangle</translation>
        </message>
        <message>
            <source>确定</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>确定删除所有图形？删除后可以撤销。</source>
            <translation>Delete all items? This can be undone.</translation>
        </message>
        <message>
            <source>箭头</source>
            <translation>Arrow</translation>
        </message>
        <message>
            <source>编辑定标配置</source>
            <translation>Edit Calibration</translation>
        </message>
        <message>
            <source>翻转</source>
            <translation>Flip</translation>
        </message>
        <message>
            <source>自动曝光</source>
            <translation>Auto Exposure</translation>
        </message>
        <message>
            <source>自动白平衡</source>
            <translation>Auto White Balance</translation>
        </message>
        <message>
            <source>色彩模式</source>
            <translation>Color Mode</translation>
        </message>
        <message>
            <source>色彩调整</source>
            <translation>Color Adjustment</translation>
        </message>
        <message>
            <source>色温</source>
            <translation>Color Temperature</translation>
        </message>
        <message>
            <source>色调</source>
            <translation>Hue</translation>
        </message>
        <message>
            <source>视频已保存到:%1</source>
            <translation>Video saved to: %1</translation>
        </message>
        <message>
            <source>视频格式</source>
            <translation>Video Format</translation>
        </message>
        <message>
            <source>请先关闭相机再加载图片</source>
            <translation>Please close the camera before loading an image</translation>
        </message>
        <message>
            <source>请先选择一个相机设备</source>
            <translation>Please select a camera device first</translation>
        </message>
        <message>
            <source>选择</source>
            <translation>Select</translation>
        </message>
        <message>
            <source>选择要打开的相机</source>
            <translation>Chooses the camera to open</translation>
        </message>
        <message>
            <source>锐度</source>
            <translation>Sharpness</translation>
        </message>
        <message>
            <source>错误</source>
            <translation>Error</translation>
        </message>
        <message>
            <source>长度显示的单位</source>
            <translation>Unit in which lengths are shown</translation>
        </message>
        <message>
            <source>饱和度</source>
            <translation>Saturation</translation>
        </message>
        <message>
            <source>黑白</source>
            <translation>Black and White</translation>
        </message>
    </context>
    <context>
        <name>MagnificationDialog</name>
        <message>
            <source>从放大率文件读取列表</source>
            <translation>Read the list from a magnification file</translation>
        </message>
        <message>
            <source>保存列表的修改</source>
            <translation>Save the changes to the list</translation>
        </message>
        <message>
            <source>分辨率（像素/米）</source>
            <translation>Resolution (pixels/meter)</translation>
        </message>
        <message>
            <source>删除</source>
            <translation>Delete</translation>
        </message>
        <message>
            <source>删除全部放大倍率</source>
            <translation>Delete every magnification</translation>
        </message>
        <message>
            <source>删除所选放大倍率</source>
            <translation>Delete the selected magnification</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>名称</source>
            <translation>Name</translation>
        </message>
        <message>
            <source>向上</source>
            <translation>Move Up</translation>
        </message>
        <message>
            <source>向下</source>
            <translation>Move Down</translation>
        </message>
        <message>
            <source>导入</source>
            <translation>Import</translation>
        </message>
        <message>
            <source>导入失败</source>
            <translation>Import Failed</translation>
        </message>
        <message>
            <source>导入放大率文件</source>
            <translation>Import Magnification File</translation>
        </message>
        <message>
            <source>导出</source>
            <translation>Export</translation>
        </message>
        <message>
            <source>导出失败</source>
            <translation>Export Failed</translation>
        </message>
        <message>
            <source>导出放大率文件</source>
            <translation>Export Magnification File</translation>
        </message>
        <message>
            <source>将列表写入放大率文件</source>
            <translation>Write the list to a magnification file</translation>
        </message>
        <message>
            <source>将所选放大倍率上移一行</source>
            <translation>Move the selected magnification up one row</translation>
        </message>
        <message>
            <source>将所选放大倍率下移一行</source>
            <translation>Move the selected magnification down one row</translation>
        </message>
        <message>
            <source>提示</source>
            <translation>Info</translation>
        </message>
        <message>
            <source>放大倍率列表</source>
            <translation>Magnification list</translation>
        </message>
        <message>
            <source>放大倍率名称不能为空</source>
            <translation>Magnification name cannot be empty</translation>
        </message>
        <message>
            <source>放大率文件 (*.magn);;所有文件 (*)</source>
            <translation>Magnification files (*.magn);;All files (*)</translation>
        </message>
        <message>
            <source>放大率管理</source>
            <translation>Magnification Manager</translation>
        </message>
        <message>
            <source>放弃列表的修改</source>
            <translation>Discard the changes to the list</translation>
        </message>
        <message>
            <source>无法导入文件: %1</source>
            <translation>Cannot import file: %1</translation>
        </message>
        <message>
            <source>无法导出文件: %1</source>
            <translation>Cannot export file: %1</translation>
        </message>
        <message>
            <source>未定标</source>
            <translation>Not Calibrated</translation>
        </message>
        <message>
            <source>每行一个放大倍率及其分辨率</source>
            <translation>One magnification and its resolution per row</translation>
        </message>
        <message>
            <source>没有可导出的放大率条目</source>
            <translation>No magnification entries to export</translation>
        </message>
        <message>
            <source>清空所有</source>
            <translation>Clear All</translation>
        </message>
        <message>
            <source>清空确认</source>
            <translation>Clear Confirmation</translation>
        </message>
        <message>
            <source>确定</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>确定要清空所有放大率条目吗？</source>
            <translation>Clear all magnification entries?</translation>
        </message>
        <message>
            <source>编辑</source>
            <translation>Edit</translation>
        </message>
        <message>
            <source>编辑所选放大倍率</source>
            <translation>Edit the selected magnification</translation>
        </message>
        <message>
            <source>该放大倍率已存在</source>
            <translation>This magnification already exists</translation>
        </message>
    </context>
    <context>
        <name>MagnificationEditDialog</name>
        <message>
            <source>像素/%1</source>
            <translation>pixels/%1</translation>
        </message>
        <message>
            <source>分辨率</source>
            <translation>Resolution</translation>
        </message>
        <message>
            <source>分辨率:</source>
            <translation>Resolution:</translation>
        </message>
        <message>
            <source>分辨率单位</source>
            <translation>Resolution unit</translation>
        </message>
        <message>
            <source>分辨率数值所用的长度单位</source>
            <translation>Length unit of the resolution value</translation>
        </message>
        <message>
            <source>单位</source>
            <translation>Unit</translation>
        </message>
        <message>
            <source>单位:</source>
            <translation>Unit:</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>放大倍率名称</source>
            <translation>Magnification name</translation>
        </message>
        <message>
            <source>放大倍率名称:</source>
            <translation>Magnification name:</translation>
        </message>
        <message>
            <source>每个所选单位的像素数</source>
            <translation>Pixels per selected unit</translation>
        </message>
        <message>
            <source>确定</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>编辑放大率</source>
            <translation>Edit Magnification</translation>
        </message>
    </context>
    <context>
        <name>MainWidget</name>
        <message>
            <source> 导出成功</source>
            <translation> exported successfully</translation>
        </message>
        <message>
            <source> 融合图像保存成功</source>
            <translation> fused image saved successfully</translation>
        </message>
        <message>
            <source>BMP 格式不能保存测量标注：只有图片会被保存，测量标注将丢失。
仍要保存为 BMP 吗？</source>
            <translation>BMP files cannot hold measurements: only the picture will be saved and the measurements will be lost.
Save as BMP anyway?</translation>
        </message>
        <message>
            <source>BMP（仅图片，不含测量标注）</source>
            <translation>BMP (picture only, without measurements)</translation>
        </message>
        <message>
            <source>Excel 工作簿 (*.xlsx)</source>
            <translation>Excel Workbook (*.xlsx)</translation>
        </message>
        <message>
            <source>USB 显微镜与检测相机的实时画面、拍照、录像与测量。</source>
            <translation>Live picture, stills, recordings and measuring for USB microscope and inspection cameras.</translation>
        </message>
        <message>
            <source>Word 文档 (*.docx)</source>
            <translation>Word Document (*.docx)</translation>
        </message>
        <message>
            <source>丢弃</source>
            <translation>Discard</translation>
        </message>
        <message>
            <source>保存</source>
            <translation>Save</translation>
        </message>
        <message>
            <source>保存图片</source>
            <translation>Save Image</translation>
        </message>
        <message>
            <source>保存提示</source>
            <translation>Save Notice</translation>
        </message>
        <message>
            <source>保存确认</source>
            <translation>Save Confirmation</translation>
        </message>
        <message>
            <source>保存融合图像</source>
            <translation>Save Fused Image</translation>
        </message>
        <message>
            <source>全屏</source>
            <translation>Fullscreen</translation>
        </message>
        <message>
            <source>关于</source>
            <translation>About</translation>
        </message>
        <message>
            <source>关于 QUORIX</source>
            <translation>About QUORIX</translation>
        </message>
        <message>
            <source>关闭</source>
            <translation>Close</translation>
        </message>
        <message>
            <source>分隔线</source>
            <translation>Separator</translation>
        </message>
        <message>
            <source>列表</source>
            <translation>List</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>图片</source>
            <translation>Image</translation>
        </message>
        <message>
            <source>图片已保存，但 BMP 格式不能保存测量标注，标注仍未保存。
如需保留标注，请改用 PNG、JPG 或 TIFF 格式。</source>
            <translation>The picture was saved, but BMP files cannot hold measurements: the measurements are still unsaved.
To keep them, use PNG, JPG or TIFF.</translation>
        </message>
        <message>
            <source>图片已打开，但其中保存的 %1 个测量标注有 %2 个无法读取：
%3</source>
            <translation>The picture is open, but %2 of the %1 measurements stored in it cannot be read:
%3</translation>
        </message>
        <message>
            <source>图片已打开，但其中保存的测量标注已损坏，无法读取：
%1</source>
            <translation>The picture is open, but the measurements stored in it are damaged and cannot be read:
%1</translation>
        </message>
        <message>
            <source>图片带有像素尺寸 %1，已作为临时放大倍率使用，可在“定标”栏中保留或丢弃</source>
            <translation>The picture states a pixel size of %1, now used as a temporary magnification: keep or discard it under Calibration</translation>
        </message>
        <message>
            <source>圆形视图</source>
            <translation>Circular View</translation>
        </message>
        <message>
            <source>定标提示</source>
            <translation>Calibration Hint</translation>
        </message>
        <message>
            <source>导出失败</source>
            <translation>Export Failed</translation>
        </message>
        <message>
            <source>导出报告</source>
            <translation>Export Report</translation>
        </message>
        <message>
            <source>导出数据</source>
            <translation>Export Data</translation>
        </message>
        <message>
            <source>帧率</source>
            <translation>Frame Rate</translation>
        </message>
        <message>
            <source>开源许可</source>
            <translation>Open Source Licenses</translation>
        </message>
        <message>
            <source>当前没有可保存的图像，请先加载图片或打开相机。</source>
            <translation>There is no picture to save. Please load an image or open the camera first.</translation>
        </message>
        <message>
            <source>当前画面显示为 %1%，定标建议在 100% 显示比例下进行，以获得准确的像素换算。</source>
            <translation>The picture is shown at %1%. Calibrate at 100% zoom for an exact pixel conversion.</translation>
        </message>
        <message>
            <source>当前绘图数据已修改，是否保存？</source>
            <translation>The drawing data has been modified. Save it?</translation>
        </message>
        <message>
            <source>打开图片</source>
            <translation>Open Image</translation>
        </message>
        <message>
            <source>报告已导出：%1</source>
            <translation>Report exported: %1</translation>
        </message>
        <message>
            <source>撤销</source>
            <translation>Undo</translation>
        </message>
        <message>
            <source>撤销对测量图形的上一步修改</source>
            <translation>Takes back the last change to the measurement drawing</translation>
        </message>
        <message>
            <source>放大</source>
            <translation>Zoom In</translation>
        </message>
        <message>
            <source>无法写入图片文件：%1
请检查文件夹是否存在、是否可写入以及磁盘空间。</source>
            <translation>Cannot write the picture file: %1
Check that the folder exists, that it can be written to and that the disk has room.</translation>
        </message>
        <message>
            <source>无法打开图片：%1</source>
            <translation>The image cannot be opened: %1</translation>
        </message>
        <message>
            <source>最大化</source>
            <translation>Maximize</translation>
        </message>
        <message>
            <source>最小化</source>
            <translation>Minimize</translation>
        </message>
        <message>
            <source>未找到 THIRD-PARTY-NOTICES.txt，请查看安装目录下的 licenses/ 文件夹。</source>
            <translation>THIRD-PARTY-NOTICES.txt was not found. Please see the licenses/ folder in the installation folder.</translation>
        </message>
        <message>
            <source>测量</source>
            <translation>Measure</translation>
        </message>
        <message>
            <source>测量画布</source>
            <translation>Measuring canvas</translation>
        </message>
        <message>
            <source>版本: %1</source>
            <translation>Version: %1</translation>
        </message>
        <message>
            <source>状态信息</source>
            <translation>Status</translation>
        </message>
        <message>
            <source>画布缩放</source>
            <translation>Canvas Zoom</translation>
        </message>
        <message>
            <source>画布缩放比例</source>
            <translation>Canvas Zoom Factor</translation>
        </message>
        <message>
            <source>相机</source>
            <translation>Camera</translation>
        </message>
        <message>
            <source>相机画面或图片，在其上绘制测量图形</source>
            <translation>Camera picture or image on which measuring shapes are drawn</translation>
        </message>
        <message>
            <source>程序名称</source>
            <translation>Program Name</translation>
        </message>
        <message>
            <source>窗口菜单</source>
            <translation>Window Menu</translation>
        </message>
        <message>
            <source>缩小</source>
            <translation>Zoom Out</translation>
        </message>
        <message>
            <source>菜单</source>
            <translation>Menu</translation>
        </message>
        <message>
            <source>融合图像保存失败</source>
            <translation>Fused image save failed</translation>
        </message>
        <message>
            <source>融合图像保存失败，请检查路径和权限：%1</source>
            <translation>Failed to save the fused image. Please check the path and permissions: %1</translation>
        </message>
        <message>
            <source>视频</source>
            <translation>Video</translation>
        </message>
        <message>
            <source>设置</source>
            <translation>Settings</translation>
        </message>
        <message>
            <source>设置、关于与开源许可</source>
            <translation>Settings, about and open source licenses</translation>
        </message>
        <message>
            <source>请先加载图片或打开相机，再进行定标。</source>
            <translation>Please load an image or open the camera before calibrating.</translation>
        </message>
        <message>
            <source>请先加载图片或打开相机，再进行导出。</source>
            <translation>Please load an image or open the camera before exporting.</translation>
        </message>
        <message>
            <source>还原</source>
            <translation>Restore</translation>
        </message>
        <message>
            <source>退出全屏</source>
            <translation>Exit Fullscreen</translation>
        </message>
        <message>
            <source>重做</source>
            <translation>Redo</translation>
        </message>
        <message>
            <source>重做撤销的修改</source>
            <translation>Makes an undone change again</translation>
        </message>
    </context>
    <context>
        <name>MeasureFrame</name>
        <message>
            <source>测量画布</source>
            <translation>Measuring canvas</translation>
        </message>
        <message>
            <source>相机画面或图片，在其上绘制测量图形</source>
            <translation>Camera picture or image on which measuring shapes are drawn</translation>
        </message>
    </context>
    <context>
        <name>MeasureGraphicsView</name>
        <message>
            <source>No background image loaded. Please load an image first.</source>
            <translation>No background image loaded. Please load an image first.</translation>
        </message>
        <message>
            <source>Warning</source>
            <translation>Warning</translation>
        </message>
        <message>
            <source>当前没有可保存的图像，请先加载图片或打开相机。</source>
            <translation>No image to save. Please load an image or open the camera first.</translation>
        </message>
        <message>
            <source>融合图像已保存，但标定的像素尺寸未能写入：
%1
%2</source>
            <translation>The fused image was saved, but the calibration's pixel size was not written into it:
%1
%2</translation>
        </message>
        <message>
            <source>警告</source>
            <translation>Warning</translation>
        </message>
    </context>
    <context>
        <name>MeasureGraphicsViewBusiness</name>
        <message>
            <source>BMP 格式不支持保存测量标注。
如需保留标注，请改用 PNG、JPG 或 TIFF 格式。</source>
            <translation>BMP files cannot hold measurement annotations.
To keep the annotations, save as PNG, JPG or TIFF instead.</translation>
        </message>
        <message>
            <source>保存提示</source>
            <translation>Save Notice</translation>
        </message>
        <message>
            <source>图片文件结构已损坏，测量标注未能写入：
%1</source>
            <translation>The image file is damaged; the measurement annotations could not be written:
%1</translation>
        </message>
        <message>
            <source>提示</source>
            <translation>Info</translation>
        </message>
        <message>
            <source>无法识别该图片格式，测量标注未能保存：
%1
如需保留标注，请改用 PNG、JPG 或 TIFF 格式。</source>
            <translation>The image format was not recognised; the measurement annotations were not saved:
%1
To keep the annotations, save as PNG, JPG or TIFF instead.</translation>
        </message>
        <message>
            <source>测量标注写入图片失败，文件保持原样：
%1</source>
            <translation>Writing the measurement annotations into the image failed; the file is unchanged:
%1</translation>
        </message>
        <message>
            <source>测量标注已写入图片，但标定的像素尺寸未能写入：
%1
%2
其他程序打开此图片时不会有标定。</source>
            <translation>The measurements were written into the picture, but the calibration's pixel size was not:
%1
%2
Other programs will open this picture without a calibration.</translation>
        </message>
        <message>
            <source>测量标注有 %1 KB，这张 JPG 图片最多只能容纳 %2 KB，标注未能写入图片。
PNG 和 TIFF 格式没有此限制，如需保留全部标注，请改用 PNG 或 TIFF 格式。</source>
            <translation>The measurement drawing takes %1 KB, but this JPG picture can hold at most %2 KB, so the drawing was not written into it.
PNG and TIFF have no such limit: to keep every measurement, save the picture as PNG or TIFF.</translation>
        </message>
        <message>
            <source>确定删除选中的线?</source>
            <translation>Delete the selected line?</translation>
        </message>
    </context>
    <context>
        <name>ReplaceQuestion</name>
        <message>
            <source>%1 已存在。
要替换它吗？</source>
            <translation>%1 already exists.
Do you want to replace it?</translation>
        </message>
    </context>
    <context>
        <name>ReportExporter</name>
        <message>
            <source>不支持的导出格式: .%1</source>
            <translation>Unsupported export format: .%1</translation>
        </message>
        <message>
            <source>报告导出失败: %1</source>
            <translation>Report export failed: %1</translation>
        </message>
        <message>
            <source>无法写入媒体文件</source>
            <translation>Unable to write the media file</translation>
        </message>
        <message>
            <source>无法写入报告文件：%1
请检查文件夹是否存在、是否可写入以及磁盘空间。</source>
            <translation>Cannot write the report file: %1
Check that the folder exists, that it can be written to and that the disk has room.</translation>
        </message>
        <message>
            <source>无法写回 %1</source>
            <translation>Unable to write back %1</translation>
        </message>
        <message>
            <source>无法写回 document.xml</source>
            <translation>Unable to write back document.xml</translation>
        </message>
        <message>
            <source>无法写回 document.xml.rels</source>
            <translation>Unable to write back document.xml.rels</translation>
        </message>
        <message>
            <source>无法创建临时目录</source>
            <translation>Unable to create a temporary folder</translation>
        </message>
        <message>
            <source>无法读取 %1</source>
            <translation>Unable to read %1</translation>
        </message>
        <message>
            <source>无法读取 document.xml</source>
            <translation>Unable to read document.xml</translation>
        </message>
        <message>
            <source>无法读取 document.xml.rels</source>
            <translation>Unable to read document.xml.rels</translation>
        </message>
        <message>
            <source>未找到报告模板: %1</source>
            <translation>Report template not found: %1</translation>
        </message>
        <message>
            <source>模板图片占位结构异常</source>
            <translation>The template picture placeholder is malformed</translation>
        </message>
        <message>
            <source>模板图片占位结构异常（缺少 drawing）</source>
            <translation>The template picture placeholder is malformed (no drawing)</translation>
        </message>
        <message>
            <source>模板图片占位缺少 r:embed</source>
            <translation>The template picture placeholder has no r:embed</translation>
        </message>
        <message>
            <source>模板表格行数不足（需 {{MH}} 与 {{MT}} 两行）</source>
            <translation>The template table has too few rows (a {{MH}} row and a {{MT}} row are needed)</translation>
        </message>
    </context>
    <context>
        <name>RightWidget</name>
        <message>
            <source>%1 导出成功</source>
            <translation>%1 exported successfully</translation>
        </message>
        <message>
            <source>CSV 文件 (*.csv);;所有文件 (*)</source>
            <translation>CSV Files (*.csv);;All Files (*)</translation>
        </message>
        <message>
            <source>删除全部</source>
            <translation>Delete All</translation>
        </message>
        <message>
            <source>删除选中行</source>
            <translation>Delete Selected Row</translation>
        </message>
        <message>
            <source>半径</source>
            <translation>Radius</translation>
        </message>
        <message>
            <source>名称</source>
            <translation>Name</translation>
        </message>
        <message>
            <source>宽度</source>
            <translation>Width</translation>
        </message>
        <message>
            <source>导出</source>
            <translation>Export</translation>
        </message>
        <message>
            <source>导出失败</source>
            <translation>Export Failed</translation>
        </message>
        <message>
            <source>导出测量数据</source>
            <translation>Export Measurement Data</translation>
        </message>
        <message>
            <source>当前没有可导出的测量数据。</source>
            <translation>No measurement data to export.</translation>
        </message>
        <message>
            <source>提示</source>
            <translation>Info</translation>
        </message>
        <message>
            <source>无法写入文件: %1</source>
            <translation>Unable to write file: %1</translation>
        </message>
        <message>
            <source>每个测量图形一行，选中一行即选中其图形</source>
            <translation>One row per measuring shape; selecting a row selects its shape</translation>
        </message>
        <message>
            <source>测量表格</source>
            <translation>Measurement table</translation>
        </message>
        <message>
            <source>用测量工具在画面上绘制图形，它们的测量值会列在这里</source>
            <translation>Draw shapes on the picture with the measuring tools; their measurements are listed here</translation>
        </message>
        <message>
            <source>直径</source>
            <translation>Diameter</translation>
        </message>
        <message>
            <source>确定删除所有的线？</source>
            <translation>Delete all lines?</translation>
        </message>
        <message>
            <source>确定删除选中的线？</source>
            <translation>Delete the selected line?</translation>
        </message>
        <message>
            <source>角度</source>
            <translation>Angle</translation>
        </message>
        <message>
            <source>距离</source>
            <translation>Distance</translation>
        </message>
        <message>
            <source>长度</source>
            <translation>Length</translation>
        </message>
        <message>
            <source>面积</source>
            <translation>Area</translation>
        </message>
        <message>
            <source>高度</source>
            <translation>Height</translation>
        </message>
    </context>
    <context>
        <name>SettingDialog</name>
        <message>
            <source>三点垂线</source>
            <translation>3-Point Perpendicular</translation>
        </message>
        <message>
            <source>三点椭圆</source>
            <translation>3-Point Ellipse</translation>
        </message>
        <message>
            <source>三点矩形</source>
            <translation>3-Point Rectangle</translation>
        </message>
        <message>
            <source>三点线</source>
            <translation>3-Point Line</translation>
        </message>
        <message>
            <source>三点角度</source>
            <translation>3-Point Angle</translation>
        </message>
        <message>
            <source>下划线</source>
            <translation>Underline</translation>
        </message>
        <message>
            <source>不再提示保存成功</source>
            <translation>Don't show "saved successfully" again</translation>
        </message>
        <message>
            <source>两点圆</source>
            <translation>2-Point Circle</translation>
        </message>
        <message>
            <source>中心半径圆</source>
            <translation>Center-Radius Circle</translation>
        </message>
        <message>
            <source>主题</source>
            <translation>Theme</translation>
        </message>
        <message>
            <source>五点椭圆</source>
            <translation>5-Point Ellipse</translation>
        </message>
        <message>
            <source>任意平行线</source>
            <translation>Free Parallel Lines</translation>
        </message>
        <message>
            <source>优先采用一键白平衡</source>
            <translation>Prefer one-key white balance</translation>
        </message>
        <message>
            <source>使用预设的保存路径</source>
            <translation>Use the preset save path</translation>
        </message>
        <message>
            <source>使用预设的路径:</source>
            <translation>Use the preset path:</translation>
        </message>
        <message>
            <source>保存设置</source>
            <translation>Save Settings</translation>
        </message>
        <message>
            <source>保存路径</source>
            <translation>Save path</translation>
        </message>
        <message>
            <source>值</source>
            <translation>Value</translation>
        </message>
        <message>
            <source>全屏</source>
            <translation>Fullscreen</translation>
        </message>
        <message>
            <source>全屏快捷键</source>
            <translation>Fullscreen shortcut</translation>
        </message>
        <message>
            <source>全选</source>
            <translation>Select All</translation>
        </message>
        <message>
            <source>八点平行线</source>
            <translation>8-Point Parallel Lines</translation>
        </message>
        <message>
            <source>关闭</source>
            <translation>Close</translation>
        </message>
        <message>
            <source>关闭时提示保存修改过的测量</source>
            <translation>Ask to save changed measurements when closing</translation>
        </message>
        <message>
            <source>其它</source>
            <translation>Other</translation>
        </message>
        <message>
            <source>删除选中的测量</source>
            <translation>Delete Selected Measurements</translation>
        </message>
        <message>
            <source>刻度间隔</source>
            <translation>Tick interval</translation>
        </message>
        <message>
            <source>刻度间隔:</source>
            <translation>Tick interval:</translation>
        </message>
        <message>
            <source>刻度高度</source>
            <translation>Tick height</translation>
        </message>
        <message>
            <source>刻度高度:</source>
            <translation>Tick height:</translation>
        </message>
        <message>
            <source>十字线宽度</source>
            <translation>Crosshair width</translation>
        </message>
        <message>
            <source>十字线宽度:</source>
            <translation>Crosshair width:</translation>
        </message>
        <message>
            <source>双击“值”列中的单元格或按回车键修改该属性。</source>
            <translation>Double-click a cell of the "Value" column, or press Enter on it, to change that property.</translation>
        </message>
        <message>
            <source>双圆</source>
            <translation>Double Circle</translation>
        </message>
        <message>
            <source>双点画线</source>
            <translation>Dash-Dot-Dotted Line</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>启动时最大化窗口</source>
            <translation>Maximize the window at start</translation>
        </message>
        <message>
            <source>启用静态拍照</source>
            <translation>Enable still capture</translation>
        </message>
        <message>
            <source>四点垂线</source>
            <translation>4-Point Perpendicular</translation>
        </message>
        <message>
            <source>四点平行线</source>
            <translation>4-Point Parallel Lines</translation>
        </message>
        <message>
            <source>四点角度</source>
            <translation>4-Point Angle</translation>
        </message>
        <message>
            <source>图片类型</source>
            <translation>Image type</translation>
        </message>
        <message>
            <source>图片类型:</source>
            <translation>Image type:</translation>
        </message>
        <message>
            <source>外观</source>
            <translation>Appearance</translation>
        </message>
        <message>
            <source>多边形</source>
            <translation>Polygon</translation>
        </message>
        <message>
            <source>如何保存采集的文件</source>
            <translation>How to save captured files</translation>
        </message>
        <message>
            <source>如何导出报告</source>
            <translation>How to export reports</translation>
        </message>
        <message>
            <source>字体:</source>
            <translation>Font:</translation>
        </message>
        <message>
            <source>字体颜色:</source>
            <translation>Font color:</translation>
        </message>
        <message>
            <source>字号:</source>
            <translation>Font size:</translation>
        </message>
        <message>
            <source>字段为空时点击它，再按下新的组合键；先用“清除”清空字段。</source>
            <translation>Click the field while it is empty, then press the new key combination; empty it first with "Clear".</translation>
        </message>
        <message>
            <source>实线</source>
            <translation>Solid Line</translation>
        </message>
        <message>
            <source>导出报告时使用预设的路径</source>
            <translation>Use the preset path for report export</translation>
        </message>
        <message>
            <source>导出报告时总是弹出文件对话框</source>
            <translation>Always show the file dialog for report export</translation>
        </message>
        <message>
            <source>属性</source>
            <translation>Properties</translation>
        </message>
        <message>
            <source>工具属性表</source>
            <translation>Tool properties table</translation>
        </message>
        <message>
            <source>工具类型</source>
            <translation>Tool type</translation>
        </message>
        <message>
            <source>工具类型:</source>
            <translation>Tool type:</translation>
        </message>
        <message>
            <source>已恢复默认设置，请重启软件生效。</source>
            <translation>Defaults restored; restart the software for them to take effect.</translation>
        </message>
        <message>
            <source>应用</source>
            <translation>Apply</translation>
        </message>
        <message>
            <source>弧形</source>
            <translation>Arc</translation>
        </message>
        <message>
            <source>快捷键 %1 已被“%2”使用，请按其他组合键。</source>
            <translation>The shortcut %1 is already used by "%2". Please press another combination.</translation>
        </message>
        <message>
            <source>快捷键冲突</source>
            <translation>Shortcut Conflict</translation>
        </message>
        <message>
            <source>总是弹出文件对话框</source>
            <translation>Always show the file dialog</translation>
        </message>
        <message>
            <source>恢复出厂设置</source>
            <translation>Restore Factory Settings</translation>
        </message>
        <message>
            <source>恢复默认</source>
            <translation>Restore Default</translation>
        </message>
        <message>
            <source>恢复默认保存路径</source>
            <translation>Restore the default save path</translation>
        </message>
        <message>
            <source>恢复默认报告导出路径</source>
            <translation>Restore the default report export path</translation>
        </message>
        <message>
            <source>恢复默认标签字体</source>
            <translation>Restore the default label font</translation>
        </message>
        <message>
            <source>打印相机/解码帧率日志</source>
            <translation>Log camera and decoder frame rates</translation>
        </message>
        <message>
            <source>打开保存路径</source>
            <translation>Open the save path</translation>
        </message>
        <message>
            <source>打开报告导出路径</source>
            <translation>Open the report export path</translation>
        </message>
        <message>
            <source>打开文件夹</source>
            <translation>Open Folder</translation>
        </message>
        <message>
            <source>折线</source>
            <translation>Polyline</translation>
        </message>
        <message>
            <source>报告</source>
            <translation>Report</translation>
        </message>
        <message>
            <source>报告导出路径</source>
            <translation>Report export path</translation>
        </message>
        <message>
            <source>拍照</source>
            <translation>Capture</translation>
        </message>
        <message>
            <source>拍照和保存图片的默认文件格式</source>
            <translation>Default file format of captures and saved pictures</translation>
        </message>
        <message>
            <source>拍照快捷键</source>
            <translation>Capture shortcut</translation>
        </message>
        <message>
            <source>按下快捷键组合...</source>
            <translation>Press a shortcut combination...</translation>
        </message>
        <message>
            <source>控制点大小</source>
            <translation>Control Point Size</translation>
        </message>
        <message>
            <source>控制点大小:</source>
            <translation>Control point size:</translation>
        </message>
        <message>
            <source>撤销</source>
            <translation>Undo</translation>
        </message>
        <message>
            <source>撤销快捷键</source>
            <translation>Undo shortcut</translation>
        </message>
        <message>
            <source>放大</source>
            <translation>Zoom In</translation>
        </message>
        <message>
            <source>放大快捷键</source>
            <translation>Zoom-in shortcut</translation>
        </message>
        <message>
            <source>文件</source>
            <translation>Files</translation>
        </message>
        <message>
            <source>文件类型</source>
            <translation>File Type</translation>
        </message>
        <message>
            <source>斜体</source>
            <translation>Italic</translation>
        </message>
        <message>
            <source>无法写入设置文件 %1，更改没有保存。</source>
            <translation>Cannot write the settings file %1; the changes were not saved.</translation>
        </message>
        <message>
            <source>无法打开文件夹：%1</source>
            <translation>Cannot open the folder: %1</translation>
        </message>
        <message>
            <source>显示十字线</source>
            <translation>Show the crosshair</translation>
        </message>
        <message>
            <source>杂项</source>
            <translation>Misc</translation>
        </message>
        <message>
            <source>标签字体</source>
            <translation>Label font</translation>
        </message>
        <message>
            <source>标签字体颜色</source>
            <translation>Label font color</translation>
        </message>
        <message>
            <source>标签字号</source>
            <translation>Label font size</translation>
        </message>
        <message>
            <source>标签显示</source>
            <translation>Label Display</translation>
        </message>
        <message>
            <source>椭圆</source>
            <translation>Ellipse</translation>
        </message>
        <message>
            <source>比例尺刻度的间隔倍数</source>
            <translation>Spacing multiplier of the scale ticks</translation>
        </message>
        <message>
            <source>比例尺刻度的高度倍数</source>
            <translation>Height multiplier of the scale ticks</translation>
        </message>
        <message>
            <source>浅色</source>
            <translation>Light</translation>
        </message>
        <message>
            <source>测量</source>
            <translation>Measure</translation>
        </message>
        <message>
            <source>测量标签的字体</source>
            <translation>Font of the measurement labels</translation>
        </message>
        <message>
            <source>深色</source>
            <translation>Dark</translation>
        </message>
        <message>
            <source>清除</source>
            <translation>Clear</translation>
        </message>
        <message>
            <source>清除全屏快捷键</source>
            <translation>Clear the fullscreen shortcut</translation>
        </message>
        <message>
            <source>清除拍照快捷键</source>
            <translation>Clear the capture shortcut</translation>
        </message>
        <message>
            <source>清除撤销快捷键</source>
            <translation>Clear undo shortcut</translation>
        </message>
        <message>
            <source>清除放大快捷键</source>
            <translation>Clear the zoom-in shortcut</translation>
        </message>
        <message>
            <source>清除缩小快捷键</source>
            <translation>Clear the zoom-out shortcut</translation>
        </message>
        <message>
            <source>清除重做快捷键</source>
            <translation>Clear redo shortcut</translation>
        </message>
        <message>
            <source>点画线</source>
            <translation>Dash-Dotted Line</translation>
        </message>
        <message>
            <source>点线</source>
            <translation>Dotted Line</translation>
        </message>
        <message>
            <source>用户界面</source>
            <translation>User Interface</translation>
        </message>
        <message>
            <source>界面主题</source>
            <translation>Interface theme</translation>
        </message>
        <message>
            <source>界面语言</source>
            <translation>Interface language</translation>
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
            <source>确定</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>确定要恢复出厂设置吗？所有自定义配置将被清除。</source>
            <translation>Restore factory settings? All custom configuration will be cleared.</translation>
        </message>
        <message>
            <source>箭头</source>
            <translation>Arrow</translation>
        </message>
        <message>
            <source>粗体</source>
            <translation>Bold</translation>
        </message>
        <message>
            <source>线型</source>
            <translation>Line Style</translation>
        </message>
        <message>
            <source>线型:</source>
            <translation>Line style:</translation>
        </message>
        <message>
            <source>线宽</source>
            <translation>Line Width</translation>
        </message>
        <message>
            <source>线宽:</source>
            <translation>Line width:</translation>
        </message>
        <message>
            <source>线条颜色</source>
            <translation>Line Color</translation>
        </message>
        <message>
            <source>绘制时显示十字光标</source>
            <translation>Show a cross cursor while drawing</translation>
        </message>
        <message>
            <source>缩小</source>
            <translation>Zoom Out</translation>
        </message>
        <message>
            <source>缩小快捷键</source>
            <translation>Zoom-out shortcut</translation>
        </message>
        <message>
            <source>虚线</source>
            <translation>Dashed Line</translation>
        </message>
        <message>
            <source>要设置默认样式的测量工具</source>
            <translation>Measuring tool whose default style is set</translation>
        </message>
        <message>
            <source>设置</source>
            <translation>Settings</translation>
        </message>
        <message>
            <source>设置页面</source>
            <translation>Settings pages</translation>
        </message>
        <message>
            <source>设置页面内容</source>
            <translation>Settings page content</translation>
        </message>
        <message>
            <source>语言</source>
            <translation>Language</translation>
        </message>
        <message>
            <source>选择保存路径</source>
            <translation>Select Save Path</translation>
        </message>
        <message>
            <source>选择报告导出路径</source>
            <translation>Select Report Export Path</translation>
        </message>
        <message>
            <source>选择颜色</source>
            <translation>Select Color</translation>
        </message>
        <message>
            <source>重做</source>
            <translation>Redo</translation>
        </message>
        <message>
            <source>重做快捷键</source>
            <translation>Redo shortcut</translation>
        </message>
        <message>
            <source>重置全部工具</source>
            <translation>Reset All Tools</translation>
        </message>
        <message>
            <source>重置当前工具</source>
            <translation>Reset This Tool</translation>
        </message>
        <message>
            <source>键盘</source>
            <translation>Keyboard</translation>
        </message>
        <message>
            <source>默认</source>
            <translation>Default</translation>
        </message>
        <message>
            <source>默认工具属性</source>
            <translation>Default Tool Properties</translation>
        </message>
        <message>
            <source>默认显示比例尺</source>
            <translation>Show the scale bar by default</translation>
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
            <source>录像没有收到任何画面，未保存文件</source>
            <translation>The recording received no camera frame; no file was saved</translation>
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
        <message>
            <source>视频文件未能完成:%1</source>
            <translation>The video file could not be finished: %1</translation>
        </message>
    </context>
    <context>
        <name>ZipFolder</name>
        <message>
            <source>ZIP 收尾失败</source>
            <translation>Failed to finalise ZIP</translation>
        </message>
        <message>
            <source>ZIP 条目解压后过大，已拒绝: %1</source>
            <translation>ZIP entry too large when extracted, refused: %1</translation>
        </message>
        <message>
            <source>ZIP 条目路径不安全，已拒绝: %1</source>
            <translation>Unsafe path in ZIP entry, refused: %1</translation>
        </message>
        <message>
            <source>写入 ZIP 失败: %1</source>
            <translation>Failed to write to ZIP: %1</translation>
        </message>
        <message>
            <source>无法写入: %1</source>
            <translation>Unable to write: %1</translation>
        </message>
        <message>
            <source>无法创建 ZIP: %1</source>
            <translation>Unable to create ZIP: %1</translation>
        </message>
        <message>
            <source>无法打开 ZIP 文件: %1</source>
            <translation>Unable to open ZIP file: %1</translation>
        </message>
        <message>
            <source>解压文件失败: %1</source>
            <translation>Failed to extract file: %1</translation>
        </message>
        <message>
            <source>读取失败: %1</source>
            <translation>Failed to read: %1</translation>
        </message>
    </context>
</TS>
