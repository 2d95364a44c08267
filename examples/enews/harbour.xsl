<!-- Only the xsl:stylesheet element is rendered; this line is never output. -->
<xsl:stylesheet encoding="iso-8859-1">
<html>
<head><title><xsl:value-of select="/enews/name"/></title></head>
<body>
<img src="art/masthead.gif">
<h1><xsl:value-of select="/enews/name"/></h1>
<p>Edition of <span class="date"><xsl:date format="dddd d MMMM yyyy"/></span></p>
<xsl:comment>Contents: one link per story, with the front-page teaser at the same position.</xsl:comment>
<ul>
<xsl:for-each select="/enews/stories/feed/channel/item" index="story">
<li><xsl:ahref><xsl:value-of select="title"/></xsl:ahref>: <xsl:value-of select="/enews/front/teaser[#story]" html-filter="no-tags"/></li>
</xsl:for-each>
</ul>
<xsl:for-each select="//item">
<xsl:aname/><h2><xsl:value-of select="title"/></h2>
<xsl:img select="picture" select-log="title"/>
<p><xsl:value-of select="text" max-char="100"/>...</p>
</xsl:for-each>
<xsl:if-not-exist select="//item"><p>No stories today.</p></xsl:if-not-exist>
</body>
</html>
</xsl:stylesheet>
